#include "platform/elevation.h"

#include "platform/handle.h"
#include "platform/win_api.h"

namespace vant {

std::expected<bool, SystemError> process_is_elevated() {
  OwnedHandle token;
  if (!win::OpenProcessToken(win::GetCurrentProcess(), win::TOKEN_QUERY, token.out())) {
    return std::unexpected(SystemError::from_last_error());
  }
  win::TOKEN_ELEVATION elevation{};
  win::DWORD size = 0;
  if (!win::GetTokenInformation(token.get(), win::TOKEN_INFORMATION_CLASS::TokenElevation, &elevation, sizeof elevation,
                                &size)) {
    return std::unexpected(SystemError::from_last_error());
  }
  return elevation.TokenIsElevated != 0;
}

}  // namespace vant
