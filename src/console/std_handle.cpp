#include "console/std_handle.h"

#include <cstdint>

namespace vant {

std::expected<win::HANDLE, SystemError> std_handle(StdStream stream) {
  const win::HANDLE handle = win::GetStdHandle(static_cast<win::DWORD>(stream));
  if (handle == win::NULL_HANDLE) {
    return std::unexpected(SystemError::from_code(win::ERROR_INVALID_HANDLE));
  }
  if (handle == win::INVALID_HANDLE_VALUE) return std::unexpected(SystemError::from_last_error());
  return handle;
}

bool is_missing_stream(const SystemError& error) {
  return error.os_code() == static_cast<std::int32_t>(win::ERROR_INVALID_HANDLE);
}

bool is_console(win::HANDLE handle) {
  win::DWORD mode = 0;
  return win::GetConsoleMode(handle, &mode) != 0;
}

}  // namespace vant
