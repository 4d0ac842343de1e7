// The model of the WinHTTP functions the proxy lookup calls, behind the
// seam's Invoke* helpers, and of GlobalFree for the texts they hand out.
#include <cstring>
#include <stdexcept>

#include "fake_windows.h"

namespace win {

using fake::world;

namespace {

void log(std::string entry) { world().record_call(std::move(entry)); }

// A text WinHTTP allocates for its caller, who frees it with GlobalFree.
char16_t* allocate_text(const std::optional<std::u16string>& text) {
  if (!text) return nullptr;
  auto* copy = new char16_t[text->size() + 1];
  std::memcpy(copy, text->c_str(), (text->size() + 1) * sizeof(char16_t));
  world().global_texts[reinterpret_cast<std::uintptr_t>(copy)] = *text;
  return copy;
}

bool winhttp_function(FARPROC proc, std::string_view name) {
  return world().is_system_function(proc, u"winhttp.dll", name);
}

void spend(std::int64_t ms) { world().now_ns += ms * 1'000'000; }

}  // namespace

void* GlobalFree(void* hMem) {
  auto& w = world();
  log("GlobalFree");
  const auto found = w.global_texts.find(reinterpret_cast<std::uintptr_t>(hMem));
  if (found == w.global_texts.end()) {
    w.bad_global_frees.push_back(reinterpret_cast<std::uintptr_t>(hMem));
    w.last_error() = ERROR_INVALID_HANDLE;
    return hMem;
  }
  delete[] static_cast<char16_t*>(hMem);
  w.global_texts.erase(found);
  return nullptr;
}

BOOL InvokeWinHttpGetIEProxyConfigForCurrentUser(FARPROC proc, WINHTTP_CURRENT_USER_IE_PROXY_CONFIG* pProxyConfig) {
  auto& w = world();
  log("WinHttpGetIEProxyConfigForCurrentUser");
  if (!winhttp_function(proc, "WinHttpGetIEProxyConfigForCurrentUser")) return 0;
  const auto& settings = w.internet_settings;
  spend(settings.cost_ms);
  if (settings.error) {
    w.last_error() = *settings.error;
    return 0;
  }
  pProxyConfig->fAutoDetect = settings.auto_detect ? 1 : 0;
  pProxyConfig->lpszAutoConfigUrl = allocate_text(settings.script);
  pProxyConfig->lpszProxy = allocate_text(settings.proxy);
  pProxyConfig->lpszProxyBypass = allocate_text(settings.bypass);
  return 1;
}

HINTERNET InvokeWinHttpOpen(FARPROC proc, const char16_t* pszAgentW, DWORD dwAccessType, const char16_t* pszProxyW,
                            const char16_t* pszProxyBypassW, DWORD dwFlags) {
  auto& w = world();
  log("WinHttpOpen");
  if (!winhttp_function(proc, "WinHttpOpen")) return NULL_INTERNET;
  (void)pszAgentW;
  if (pszProxyW != nullptr || pszProxyBypassW != nullptr || dwFlags != 0) {
    throw std::logic_error("WinHttpOpen: only a synchronous session without names is modelled");
  }
  if (w.winhttp_open_error) {
    w.last_error() = *w.winhttp_open_error;
    return NULL_INTERNET;
  }
  const std::uintptr_t session = w.next_session;
  w.next_session += 4;
  w.winhttp_sessions[session] = dwAccessType;
  return static_cast<HINTERNET>(session);
}

BOOL InvokeWinHttpGetProxyForUrl(FARPROC proc, HINTERNET hSession, const char16_t* lpcwszUrl,
                                 WINHTTP_AUTOPROXY_OPTIONS* pAutoProxyOptions, WINHTTP_PROXY_INFO* pProxyInfo) {
  auto& w = world();
  log("WinHttpGetProxyForUrl");
  if (!winhttp_function(proc, "WinHttpGetProxyForUrl")) return 0;
  fake::FakeWindows::ProxyForUrlCall call;
  call.url = lpcwszUrl;
  call.flags = pAutoProxyOptions->dwFlags;
  call.detect_flags = pAutoProxyOptions->dwAutoDetectFlags;
  if (pAutoProxyOptions->lpszAutoConfigUrl != nullptr) call.script = pAutoProxyOptions->lpszAutoConfigUrl;
  call.auto_logon = pAutoProxyOptions->fAutoLogonIfChallenged;
  call.session_open = w.winhttp_sessions.count(static_cast<std::uintptr_t>(hSession)) != 0;
  w.proxy_for_url_calls.push_back(call);
  const auto& answer = w.proxy_answer;
  spend(answer.cost_ms);
  if (!call.session_open) {
    w.last_error() = ERROR_INVALID_HANDLE;
    return 0;
  }
  // Neither way to find a proxy, or a script address flag without one.
  const bool script_flag = (call.flags & WINHTTP_AUTOPROXY_CONFIG_URL) != 0;
  if ((call.flags & (WINHTTP_AUTOPROXY_AUTO_DETECT | WINHTTP_AUTOPROXY_CONFIG_URL)) == 0 ||
      script_flag != call.script.has_value() ||
      ((call.flags & WINHTTP_AUTOPROXY_AUTO_DETECT) != 0) != (call.detect_flags != 0)) {
    w.last_error() = ERROR_INVALID_PARAMETER;
    return 0;
  }
  if (answer.error) {
    w.last_error() = *answer.error;
    return 0;
  }
  pProxyInfo->dwAccessType = answer.access_type;
  pProxyInfo->lpszProxy = allocate_text(answer.proxy);
  pProxyInfo->lpszProxyBypass = allocate_text(answer.bypass);
  return 1;
}

BOOL InvokeWinHttpCloseHandle(FARPROC proc, HINTERNET hInternet) {
  auto& w = world();
  log("WinHttpCloseHandle");
  if (!winhttp_function(proc, "WinHttpCloseHandle")) return 0;
  if (w.winhttp_sessions.erase(static_cast<std::uintptr_t>(hInternet)) == 0) {
    w.last_error() = ERROR_INVALID_HANDLE;
    return 0;
  }
  return 1;
}

}  // namespace win
