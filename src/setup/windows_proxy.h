// The proxy Windows holds for the user (Internet Settings, a proxy script,
// auto-detect), handed to curl: curl for Windows reads a proxy only from
// its environment, so in an office whose only way out is that proxy every
// download would fail.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/win_api.h"

namespace vant {

// The longest the whole lookup may take. Auto-detect (WPAD) asks DHCP and
// DNS and may fetch a script, which on a network without one can take
// seconds (docs/performance.md); after this the download goes on without a
// proxy, as before the lookup existed.
inline constexpr win::DWORD kProxyLookupMilliseconds = 10'000;

// Whether the user has set one of the variables curl takes its proxy from
// (https_proxy, ALL_PROXY, NO_PROXY; Windows' names ignore case): then
// that setting is the user's choice, and the program adds nothing.
bool user_sets_proxy();

// The proxy for `address` (an https address) on `host` (its host's name),
// as curl's https_proxy takes it ("http://proxy:8080"), from WinHTTP
// (winhttp.dll, loaded from the system folder only): the user's setting
// (WinHttpGetIEProxyConfigForCurrentUser), and where auto-detect or a
// script address is on, the answer for `address` (WinHttpGetProxyForUrl);
// when that finds nothing, the manually set proxy, as Windows' own
// programs do. Nothing for a direct connection, a host on the bypass list,
// a setting that names no https proxy, any failure, or a lookup that has
// not ended within kProxyLookupMilliseconds.
std::optional<std::string> windows_proxy(std::u16string_view address, std::string_view host);

}  // namespace vant
