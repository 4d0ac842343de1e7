// Byte I/O on a standard handle that is not a console (a file, a pipe, the
// NUL device), through ntdll. A standard handle may have been opened for
// overlapped I/O by whoever started the process, so a call can come back
// STATUS_PENDING; it is then waited for on the handle, which makes every
// transfer synchronous for the caller.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "platform/win_api.h"

namespace vant {

struct NtIoResult {
  // The final status: success (not negative), STATUS_END_OF_FILE or another
  // failure. Never STATUS_PENDING.
  win::NTSTATUS status;
  // Bytes transferred, never more than were offered or asked for.
  std::size_t information;
};

// One NtWriteFile of min(size, 2^32 - 1) bytes.
NtIoResult nt_write_file(win::HANDLE handle, std::string_view bytes);

// One NtReadFile into the first min(size, 2^32 - 1) bytes of `buffer`.
NtIoResult nt_read_file(win::HANDLE handle, std::span<char> buffer);

// Both end the process with "fatal runtime error: I/O error: operation
// failed to complete synchronously, aborting" when the transfer is still
// pending after the wait: returning would let Windows write into the status
// block (and, for a read, the buffer) after the caller has moved on.

}  // namespace vant
