#include "platform/elevation.h"

#include "platform/handle.h"
#include "platform/win_api.h"

namespace vant {

std::expected<bool, SystemError> process_is_elevated() {
  win::HANDLE raw = win::NULL_HANDLE;
  if (!win::OpenProcessToken(win::GetCurrentProcess(), win::TOKEN_QUERY, &raw)) {
    return std::unexpected(SystemError::from_last_error());
  }
  const OwnedHandle token(raw);
  win::TOKEN_ELEVATION elevation{};
  win::DWORD size = 0;
  if (!win::GetTokenInformation(token.get(), win::TOKEN_INFORMATION_CLASS::TokenElevation, &elevation, sizeof elevation,
                                &size)) {
    return std::unexpected(SystemError::from_last_error());
  }
  return elevation.TokenIsElevated != 0;
}

}  // namespace vant
