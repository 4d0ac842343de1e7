// The standard streams: which one, its current handle, and the unbuffered
// writer with the rules every stream shares (console or bytes, a missing
// stream swallows text).
#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

#include "console/console_write.h"
#include "platform/system_error.h"
#include "platform/win_api.h"

namespace vant {

// The values are the GetStdHandle arguments.
enum class StdStream : win::DWORD {
  Input = win::STD_INPUT_HANDLE,
  Output = win::STD_OUTPUT_HANDLE,
  Error = win::STD_ERROR_HANDLE,
};

// The unbuffered writer of one stream. It holds no handle: the handle is
// fetched on every write, so a standard handle replaced while the process
// runs takes effect at the next write.
struct StdWriter {
  StdStream stream = StdStream::Output;
  Utf8Carry carry;
};

// The stream's current handle. A process without one (NULL) gets the error
// ERROR_INVALID_HANDLE (6), which writers and the reader take to mean "no
// such stream"; a failed fetch gets the code GetStdHandle left.
std::expected<win::HANDLE, SystemError> std_handle(StdStream stream);

// Whether a failure means the stream is missing or its handle is not valid:
// text for it is dropped and reading it meets end of input.
bool is_missing_stream(const SystemError& error);

// Whether the handle is a console (GetConsoleMode works on nothing else).
bool is_console(win::HANDLE handle);

// One write of up to all of `bytes`; returns how many were consumed. An empty
// span returns 0 without touching the platform. A console whose output code
// page is not UTF-8 gets UTF-16; everything else gets the bytes unchanged.
std::expected<std::size_t, SystemError> std_write(StdWriter& writer, std::string_view bytes);

// Writes every byte, calling std_write until done. A stream that takes
// nothing fails with "failed to write whole buffer"; a missing stream
// (error 6) drops the rest and succeeds.
std::expected<void, SystemError> std_write_all(StdWriter& writer, std::string_view bytes);

}  // namespace vant
