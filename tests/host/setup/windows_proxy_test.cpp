// The Windows proxy for the download: read through WinHTTP (loaded from the
// system folder), within 10 s, and the user's own proxy variables first.
#include "setup/windows_proxy.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "fake_windows.h"
#include "support/seam_test.h"

namespace vant {
namespace {

constexpr std::u16string_view kAddress = u"https://dl.vant.example/download/latest";
constexpr std::string_view kHost = "dl.vant.example";

class WindowsProxy : public testing::SeamTest {
 protected:
  std::optional<std::string> look_up() {
    auto proxy = windows_proxy(kAddress, kHost);
    // Whatever the road: every text WinHTTP handed out is freed, and no
    // session is left open.
    EXPECT_TRUE(w().global_texts.empty());
    EXPECT_TRUE(w().bad_global_frees.empty());
    EXPECT_TRUE(w().winhttp_sessions.empty());
    return proxy;
  }
  fake::FakeWindows::InternetSettings& settings() { return w().internet_settings; }
};

TEST_F(WindowsProxy, NoSettingIsNoProxy) {
  EXPECT_EQ(look_up(), std::nullopt);
  EXPECT_TRUE(w().proxy_for_url_calls.empty());
}

TEST_F(WindowsProxy, TheManualProxyApplies) {
  settings().proxy = u"proxy.corp:8080";
  settings().bypass = u"*.corp;<local>";
  EXPECT_EQ(look_up(), "http://proxy.corp:8080");
  settings().proxy = u"http=a:80;https=b:3128";
  EXPECT_EQ(look_up(), "http://b:3128");
  settings().proxy = u"http=a:80";
  EXPECT_EQ(look_up(), std::nullopt);
  EXPECT_TRUE(w().proxy_for_url_calls.empty());
}

TEST_F(WindowsProxy, AHostOnTheBypassListGoesDirect) {
  settings().proxy = u"proxy.corp:8080";
  settings().bypass = u"intranet;*.vant.example";
  EXPECT_EQ(look_up(), std::nullopt);
}

TEST_F(WindowsProxy, AutoDetectAsksForTheDownloadAddress) {
  settings().auto_detect = true;
  w().proxy_answer.proxy = u"wpad-proxy:3128";
  EXPECT_EQ(look_up(), "http://wpad-proxy:3128");
  ASSERT_EQ(w().proxy_for_url_calls.size(), 1u);
  const auto& call = w().proxy_for_url_calls[0];
  EXPECT_EQ(call.url, kAddress);
  EXPECT_EQ(call.flags, win::WINHTTP_AUTOPROXY_AUTO_DETECT);
  EXPECT_EQ(call.detect_flags, win::WINHTTP_AUTO_DETECT_TYPE_DHCP | win::WINHTTP_AUTO_DETECT_TYPE_DNS_A);
  EXPECT_FALSE(call.script.has_value());
  EXPECT_TRUE(call.session_open);
  EXPECT_EQ(call.auto_logon, 1);
}

TEST_F(WindowsProxy, AScriptAddressIsGivenToWinHttp) {
  settings().script = u"http://config.corp/proxy.pac";
  w().proxy_answer.proxy = u"pac-proxy:8080; DIRECT";
  w().proxy_answer.bypass = u"<local>";
  EXPECT_EQ(look_up(), "http://pac-proxy:8080");
  ASSERT_EQ(w().proxy_for_url_calls.size(), 1u);
  EXPECT_EQ(w().proxy_for_url_calls[0].flags, win::WINHTTP_AUTOPROXY_CONFIG_URL);
  EXPECT_EQ(w().proxy_for_url_calls[0].script, u"http://config.corp/proxy.pac");
  EXPECT_EQ(w().proxy_for_url_calls[0].detect_flags, 0u);
}

// The script's answer decides, a direct one included; only when it gives
// none is the manual setting used, as Windows' own programs do.
TEST_F(WindowsProxy, TheScriptsAnswerComesBeforeTheManualProxy) {
  settings().auto_detect = true;
  settings().proxy = u"manual:8080";
  w().proxy_answer.access_type = win::WINHTTP_ACCESS_TYPE_NO_PROXY;
  EXPECT_EQ(look_up(), std::nullopt);

  w().proxy_answer.error = 12180;  // ERROR_WINHTTP_AUTODETECTION_FAILED
  EXPECT_EQ(look_up(), "http://manual:8080");
  settings().proxy.reset();
  EXPECT_EQ(look_up(), std::nullopt);

  w().proxy_answer.error.reset();
  w().winhttp_open_error = win::ERROR_NOT_ENOUGH_MEMORY;
  settings().proxy = u"manual:8080";
  EXPECT_EQ(look_up(), "http://manual:8080");
}

TEST_F(WindowsProxy, AnyFailureIsNoProxy) {
  settings().proxy = u"proxy:8080";
  settings().error = win::ERROR_NOT_ENOUGH_MEMORY;
  EXPECT_EQ(look_up(), std::nullopt);
  settings().error.reset();

  w().thread_error = win::ERROR_NOT_ENOUGH_MEMORY;
  EXPECT_EQ(look_up(), std::nullopt);
  w().thread_error.reset();

  w().libraries.erase(w().system_directory + u"\\winhttp.dll");
  w().remove_path(w().system_directory + u"\\winhttp.dll");
  EXPECT_EQ(look_up(), std::nullopt);
}

// winhttp.dll comes from the system folder only: one beside the program
// is never loaded, and without the system's there is no proxy.
TEST_F(WindowsProxy, WinHttpComesFromTheSystemFolderOnly) {
  settings().proxy = u"proxy:8080";
  w().add_library(u"C:\\Program Files\\VANT\\winhttp.dll", fake::Library{fake::kWinHttpExports});
  EXPECT_EQ(look_up(), "http://proxy:8080");
  ASSERT_EQ(w().loads.size(), 1u);
  EXPECT_EQ(w().loads[0].name, u"winhttp.dll");
  EXPECT_EQ(w().loads[0].flags, win::LOAD_LIBRARY_SEARCH_SYSTEM32);
  EXPECT_EQ(w().loads[0].loaded, w().system_directory + u"\\winhttp.dll");
  EXPECT_TRUE(w().foreign_calls.empty());
}

// The whole lookup takes at most 10 s: one that takes longer counts as no
// proxy, and the run goes on at once.
TEST_F(WindowsProxy, IsBoundedAtTenSeconds) {
  settings().auto_detect = true;
  w().proxy_answer.proxy = u"slow:3128";
  w().proxy_answer.cost_ms = 60'000;
  std::int64_t start = w().now_ns;
  EXPECT_EQ(windows_proxy(kAddress, kHost), std::nullopt);
  EXPECT_EQ(w().now_ns - start, 10'000'000'000);

  settings().cost_ms = 2'000;
  w().proxy_answer.cost_ms = 7'999;
  start = w().now_ns;
  EXPECT_EQ(windows_proxy(kAddress, kHost), "http://slow:3128");
  EXPECT_EQ(w().now_ns - start, 9'999'000'000);
}

struct Variable {
  const char16_t* name;
  bool wins;
};

class UserProxyVariable : public testing::SeamTest, public ::testing::WithParamInterface<Variable> {};

TEST_P(UserProxyVariable, WinsWhenSetEvenEmpty) {
  EXPECT_FALSE(user_sets_proxy());
  w().environment[GetParam().name] = u"";
  EXPECT_EQ(user_sets_proxy(), GetParam().wins);
  w().environment[GetParam().name] = u"http://mine:8080";
  EXPECT_EQ(user_sets_proxy(), GetParam().wins);
}

// Windows' names ignore case: HTTPS_PROXY is https_proxy.
INSTANTIATE_TEST_SUITE_P(Names, UserProxyVariable,
                         ::testing::Values(Variable{u"https_proxy", true}, Variable{u"HTTPS_PROXY", true},
                                           Variable{u"ALL_PROXY", true}, Variable{u"all_proxy", true},
                                           Variable{u"NO_PROXY", true}, Variable{u"no_proxy", true},
                                           Variable{u"http_proxy", false}, Variable{u"FTP_PROXY", false}));

}  // namespace
}  // namespace vant
