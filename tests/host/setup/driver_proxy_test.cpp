// The Windows proxy in whole runs: handed to curl in its environment with
// the logon options, dropped once when curl cannot reach it, and never
// looked up when the user set a proxy variable.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "fake_windows.h"
#include "support/driver_run.h"

namespace vant {
namespace {

using testing::kRunBanner;
using testing::kRunCurl;
using testing::kRunInstaller;
using testing::kRunLaunching;
using testing::kRunPrompt;

class DriverProxy : public testing::DriverRun {
 protected:
  void SetUp() override {
    DriverRun::SetUp();
    w().internet_settings.proxy = u"proxy.corp:8080";
  }
  void downloads_end_with(std::vector<win::DWORD> exits) {
    for (const win::DWORD code : exits) {
      fake::Program run{.exit_code = code};
      if (code == 0) run.on_start = [](const fake::CreateProcessCall&) { fake::world().add_file(kRunInstaller); };
      w().program_runs[kRunCurl].push_back(run);
    }
    w().program_runs[kRunCurl].push_front(fake::Program{});  // the version question
  }
  static bool has_variable(const fake::CreateProcessCall& call, std::u16string_view entry) {
    return std::find(call.environment.begin(), call.environment.end(), entry) != call.environment.end();
  }
  static bool has_logon_options(const fake::CreateProcessCall& call) {
    return call.command_line.find(u" --proxy-anyauth --proxy-user : -o ") != std::u16string::npos;
  }
};

TEST_F(DriverProxy, TheWindowsProxyReachesCurl) {
  downloads_end_with({0});
  const auto outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.out, kRunBanner + kRunLaunching);
  const auto started = created();
  ASSERT_EQ(started.size(), 2u);
  EXPECT_TRUE(has_variable(started[0], u"https_proxy=http://proxy.corp:8080"));
  EXPECT_TRUE(has_logon_options(started[0]));
  // The installer gets none of it.
  EXPECT_FALSE(has_variable(started[1], u"https_proxy=http://proxy.corp:8080"));
}

TEST_F(DriverProxy, AProxyThatCannotBeReachedIsDroppedOnce) {
  downloads_end_with({7, 0});
  const auto outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.out, kRunBanner + kRunLaunching);
  EXPECT_EQ(outcome.err, "");
  const auto started = created();
  ASSERT_EQ(started.size(), 3u);
  EXPECT_TRUE(has_variable(started[0], u"https_proxy=http://proxy.corp:8080"));
  EXPECT_FALSE(has_variable(started[1], u"https_proxy=http://proxy.corp:8080"));
  EXPECT_FALSE(has_logon_options(started[1]));
  EXPECT_TRUE(started[1].environment_null);

  // Once only: the last code is the one reported.
  SetUp();
  downloads_end_with({5, 7});
  streams_.input->readable = "\r\n";
  const auto failed = run();
  EXPECT_EQ(failed.err, "下载失败（错误码 7）\n请检查网络连接后重试，或联系客服获取安装包。\n");
  EXPECT_EQ(failed.out, kRunBanner + kRunPrompt);
  EXPECT_EQ(created().size(), 2u);
}

TEST_F(DriverProxy, AProxyVariableOfTheUsersWins) {
  w().environment[u"HTTPS_PROXY"] = u"http://mine:3128";
  downloads_end_with({0});
  const auto outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(w().count_calls("WinHttpGetIEProxyConfigForCurrentUser"), 0u);
  EXPECT_TRUE(w().loads.empty());
  ASSERT_FALSE(created().empty());
  EXPECT_FALSE(has_logon_options(created()[0]));
  EXPECT_TRUE(created()[0].environment_null);
}

TEST_F(DriverProxy, AHostOnTheBypassListGoesDirect) {
  w().internet_settings.bypass = u"<local>;" + fake::u16(VANT_DOWNLOAD_HOST);
  downloads_end_with({0});
  EXPECT_EQ(run().exit_code, 0u);
  ASSERT_FALSE(created().empty());
  EXPECT_FALSE(has_logon_options(created()[0]));
  EXPECT_TRUE(created()[0].environment_null);
}

}  // namespace
}  // namespace vant
