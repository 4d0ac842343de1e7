#include "console/nt_io.h"

#include <algorithm>
#include <cstdint>

#include "platform/fail_fast.h"

namespace vant {
namespace {

constexpr std::size_t kLongestTransfer = 0xFFFFFFFF;

// Waits for a transfer that came back pending and takes its final status
// from the status block. The block and the caller's buffer stay alive until
// this returns or the process ends.
NtIoResult complete(win::HANDLE handle, win::NTSTATUS status, const win::IO_STATUS_BLOCK& block, std::size_t length) {
  if (status == win::STATUS_PENDING) {
    // The wait's own result does not matter: the status block says whether
    // the transfer finished.
    (void)win::WaitForSingleObject(handle, win::INFINITE);
    status = block.Status;
    if (status == win::STATUS_PENDING) {
      internal_failure("fatal runtime error: I/O error: operation failed to complete synchronously, aborting");
    }
  }
  return {status, std::min<std::size_t>(block.Information, length)};
}

// A status block as the calls expect it: pending, nothing transferred yet.
win::IO_STATUS_BLOCK pending_block() {
  win::IO_STATUS_BLOCK block{};
  block.Status = win::STATUS_PENDING;
  block.Information = 0;
  return block;
}

}  // namespace

NtIoResult nt_write_file(win::HANDLE handle, std::string_view bytes) {
  const std::size_t length = std::min(bytes.size(), kLongestTransfer);
  win::IO_STATUS_BLOCK block = pending_block();
  const win::NTSTATUS status = win::NtWriteFile(handle, win::NULL_HANDLE, nullptr, nullptr, &block, bytes.data(),
                                                static_cast<win::ULONG>(length), nullptr, nullptr);
  return complete(handle, status, block, length);
}

NtIoResult nt_read_file(win::HANDLE handle, std::span<char> buffer) {
  const std::size_t length = std::min(buffer.size(), kLongestTransfer);
  win::IO_STATUS_BLOCK block = pending_block();
  const win::NTSTATUS status = win::NtReadFile(handle, win::NULL_HANDLE, nullptr, nullptr, &block, buffer.data(),
                                               static_cast<win::ULONG>(length), nullptr, nullptr);
  return complete(handle, status, block, length);
}

}  // namespace vant
