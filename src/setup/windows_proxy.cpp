#include "setup/windows_proxy.h"

#include <cstddef>
#include <utility>

#include "platform/handle.h"
#include "platform/system_library.h"
#include "setup/proxy_rules.h"

namespace vant {
namespace {

// The WinHTTP functions, in the order they are found.
enum Function { kGetIeConfig, kOpen, kGetProxyForUrl, kCloseHandle, kFunctions };
constexpr const char* kFunctionNames[kFunctions] = {"WinHttpGetIEProxyConfigForCurrentUser", "WinHttpOpen",
                                                    "WinHttpGetProxyForUrl", "WinHttpCloseHandle"};

// Texts WinHTTP allocated for its caller, freed once read.
class WinHttpText {
 public:
  explicit WinHttpText(char16_t* text) : text_(text) {}
  WinHttpText(const WinHttpText&) = delete;
  WinHttpText& operator=(const WinHttpText&) = delete;
  ~WinHttpText() {
    if (text_) win::GlobalFree(text_);
  }
  // An absent text reads as empty.
  std::u16string_view view() const { return text_ ? std::u16string_view(text_) : std::u16string_view(); }
  explicit operator bool() const { return text_ != nullptr && *text_ != u'\0'; }

 private:
  char16_t* text_;
};

// A proxy list and its bypass list applied to `host`.
std::optional<std::string> applying_proxy(const WinHttpText& proxies, const WinHttpText& bypass,
                                          std::string_view host) {
  if (!proxies || proxy_bypassed(bypass.view(), host)) return std::nullopt;
  return https_proxy_from(proxies.view());
}

std::optional<std::string> look_up_proxy(std::u16string_view address, std::string_view host) {
  const auto winhttp = load_system_library(u"winhttp.dll");
  if (!winhttp) return std::nullopt;
  win::FARPROC functions[kFunctions];
  for (std::size_t i = 0; i < kFunctions; ++i) {
    const auto found = find_function(*winhttp, kFunctionNames[i]);
    if (!found) return std::nullopt;
    functions[i] = *found;
  }

  win::WINHTTP_CURRENT_USER_IE_PROXY_CONFIG setting{};
  if (!win::InvokeWinHttpGetIEProxyConfigForCurrentUser(functions[kGetIeConfig], &setting)) return std::nullopt;
  const WinHttpText script(setting.lpszAutoConfigUrl);
  const WinHttpText manual(setting.lpszProxy);
  const WinHttpText manual_bypass(setting.lpszProxyBypass);

  if (setting.fAutoDetect || script) {
    win::WINHTTP_AUTOPROXY_OPTIONS options{};
    if (setting.fAutoDetect) {
      options.dwFlags |= win::WINHTTP_AUTOPROXY_AUTO_DETECT;
      options.dwAutoDetectFlags = win::WINHTTP_AUTO_DETECT_TYPE_DHCP | win::WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    if (script) {
      options.dwFlags |= win::WINHTTP_AUTOPROXY_CONFIG_URL;
      options.lpszAutoConfigUrl = script.view().data();
    }
    // A script behind a server that asks who is fetching it gets the
    // user's Windows logon, as the browser would give it.
    options.fAutoLogonIfChallenged = 1;
    const win::HINTERNET session =
        win::InvokeWinHttpOpen(functions[kOpen], nullptr, win::WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
    if (session != win::NULL_INTERNET) {
      const std::u16string url(address);
      win::WINHTTP_PROXY_INFO answer{};
      const bool answered =
          win::InvokeWinHttpGetProxyForUrl(functions[kGetProxyForUrl], session, url.c_str(), &options, &answer) != 0;
      (void)win::InvokeWinHttpCloseHandle(functions[kCloseHandle], session);
      if (answered) {
        const WinHttpText proxies(answer.lpszProxy);
        const WinHttpText bypass(answer.lpszProxyBypass);
        if (answer.dwAccessType != win::WINHTTP_ACCESS_TYPE_NAMED_PROXY) return std::nullopt;
        return applying_proxy(proxies, bypass, host);
      }
    }
  }
  return applying_proxy(manual, manual_bypass, host);
}

// What the lookup's thread is given and leaves behind.
struct Lookup {
  std::u16string address;
  std::string host;
  std::optional<std::string> proxy;
};

// A lookup whose thread was not waited for to its end: kept, since that
// thread may still use it.
Lookup* g_unfinished_lookup = nullptr;

win::DWORD VANT_WINAPI run_lookup(void* parameter) {
  Lookup& lookup = *static_cast<Lookup*>(parameter);
  lookup.proxy = look_up_proxy(lookup.address, lookup.host);
  return 0;
}

}  // namespace

bool user_sets_proxy() {
  for (const char16_t* name : {u"https_proxy", u"ALL_PROXY", u"NO_PROXY"}) {
    // Set, even to nothing: the size it needs, never 0.
    if (win::GetEnvironmentVariableW(name, nullptr, 0) != 0) return true;
  }
  return false;
}

std::optional<std::string> windows_proxy(std::u16string_view address, std::string_view host) {
  // WinHTTP takes no time limit for auto-detect, so the lookup runs on a
  // thread of its own that is waited for no longer than the limit. A lookup
  // still running then is left to finish on its own: what it uses is kept,
  // and the process ends with the setup.
  auto* lookup = new Lookup{std::u16string(address), std::string(host), std::nullopt};
  const OwnedHandle thread(win::CreateThread(nullptr, 0, run_lookup, lookup, 0, nullptr));
  if (!thread) {
    delete lookup;
    return std::nullopt;
  }
  if (win::WaitForSingleObject(thread.get(), kProxyLookupMilliseconds) != win::WAIT_OBJECT_0) {
    g_unfinished_lookup = lookup;
    return std::nullopt;
  }
  std::optional<std::string> proxy = std::move(lookup->proxy);
  delete lookup;
  return proxy;
}

}  // namespace vant
