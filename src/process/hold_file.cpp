#include "process/hold_file.h"

#include <cstdint>

#include "platform/win_api.h"

namespace vant {

std::expected<OwnedHandle, SystemError> hold_file(const WideText& path) {
  for (int attempt = 1;; ++attempt) {
    // No FILE_SHARE_WRITE: nobody writes. No FILE_SHARE_DELETE: nobody
    // renames, replaces or deletes it, since each of those needs delete
    // access to the file.
    const win::HANDLE file = win::CreateFileW(path.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ, nullptr,
                                              win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, win::NULL_HANDLE);
    if (file != win::INVALID_HANDLE_VALUE) return OwnedHandle(file);
    const SystemError error = SystemError::from_last_error();
    if (error.os_code() != static_cast<std::int32_t>(win::ERROR_SHARING_VIOLATION) || attempt == kHoldAttempts) {
      return std::unexpected(error);
    }
    win::Sleep(kHoldRetryDelayMs);
  }
}

}  // namespace vant
