// When the program runs curl again, by curl's version, the installer
// signer and the proxy it handed curl: the policy as a table, then whole
// runs against the fake, with what the user sees.
#include "setup/curl_reruns.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_windows.h"
#include "support/driver_run.h"

namespace vant {
namespace {

constexpr CurlVersion kWindows1803{7, 55, 1};
constexpr CurlVersion kJustBeforeBestEffort{7, 69, 1};
constexpr CurlVersion kBestEffortOnly{7, 70, 0};
constexpr CurlVersion kRetriesAll{7, 71, 0};
constexpr CurlVersion kCurl8{8, 13, 0};

struct Policy {
  const char* name;
  CurlVersion version;
  bool signer;
  bool proxy;
  std::vector<std::uint32_t> exits;  // curl's exit codes, one per run
  std::vector<Rerun> answers;        // the policy's answer after each
};

class RerunPolicyTable : public ::testing::TestWithParam<Policy> {};

TEST_P(RerunPolicyTable, AnswersEachExitInTurn) {
  RerunPolicy policy(GetParam().version, GetParam().signer, GetParam().proxy);
  std::vector<Rerun> answers;
  for (const std::uint32_t code : GetParam().exits) answers.push_back(policy.after(code));
  EXPECT_EQ(answers, GetParam().answers);
}

using R = Rerun;
INSTANTIATE_TEST_SUITE_P(
    Rows, RerunPolicyTable,
    ::testing::Values(
        // A broken transfer: three reruns for curls before 7.71.0, then none.
        Policy{"Dropped56",
               kWindows1803,
               false,
               false,
               {56, 56, 56, 56},
               {R::AfterPause, R::AfterPause, R::AfterPause, R::None}},
        Policy{"EachBrokenCode",
               kJustBeforeBestEffort,
               false,
               false,
               {18, 52, 55, 56},
               {R::AfterPause, R::AfterPause, R::AfterPause, R::None}},
        Policy{"BestEffortCurlStillReruns", kBestEffortOnly, false, false, {56}, {R::AfterPause}},
        Policy{"RetriesAllErrorsItself", kRetriesAll, false, false, {56, 18}, {R::None, R::None}},
        Policy{"Curl8RetriesItself", kCurl8, true, true, {52}, {R::None}},
        // Failures that a rerun would not mend.
        Policy{"NotFound22", kWindows1803, true, false, {22}, {R::None}},
        Policy{"ServerDown7", kWindows1803, true, false, {7}, {R::None}},
        Policy{"Stalled28", kWindows1803, true, false, {28}, {R::None}},
        Policy{"RedirectToHttp1", kWindows1803, true, false, {1}, {R::None}},
        Policy{"UnknownOption2", kWindows1803, true, true, {2}, {R::None}},
        Policy{"Crashed", kWindows1803, true, true, {0xC0000005}, {R::None}},
        // 35: once more without revocation only with a signer, before 7.70.0.
        Policy{"Handshake35WithSigner", kWindows1803, true, false, {35, 35}, {R::WithoutRevocation, R::None}},
        Policy{"Handshake35WithoutSigner", kWindows1803, false, false, {35}, {R::None}},
        Policy{"Handshake35BestEffortCurl", kBestEffortOnly, true, false, {35}, {R::None}},
        Policy{"Handshake35JustBefore", kJustBeforeBestEffort, true, false, {35}, {R::WithoutRevocation}},
        // The proxy handed to curl cannot be reached: once, directly.
        Policy{"ProxyUnresolved5", kCurl8, false, true, {5, 5}, {R::WithoutProxy, R::None}},
        Policy{"ProxyRefused7", kCurl8, false, true, {7, 7}, {R::WithoutProxy, R::None}},
        Policy{"NoProxyHanded5", kCurl8, false, false, {5}, {R::None}},
        // Kinds are counted apart.
        Policy{"ProxyThenDropped",
               kWindows1803,
               true,
               true,
               {7, 56, 35, 56, 56, 56},
               {R::WithoutProxy, R::AfterPause, R::WithoutRevocation, R::AfterPause, R::AfterPause, R::None}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

using testing::kRunBanner;
using testing::kRunCurl;
using testing::kRunInstaller;
using testing::kRunLaunching;
using testing::kRunPrompt;

// Whole runs: curl's version answer, then one scripted exit per download.
class DriverReruns : public testing::DriverRun {
 protected:
  void curl_answers(std::string version, std::vector<win::DWORD> exits) {
    w().program_runs[kRunCurl].push_back(fake::Program{.output = std::move(version)});
    for (std::size_t i = 0; i < exits.size(); ++i) {
      fake::Program run{.exit_code = exits[i]};
      // curl leaves the file only when it ends with 0.
      if (exits[i] == 0) run.on_start = [](const fake::CreateProcessCall&) { fake::world().add_file(kRunInstaller); };
      w().program_runs[kRunCurl].push_back(run);
    }
  }
  // The options of each download run, between --speed-time 120 and -o.
  std::vector<std::string> added_options(std::size_t run) const {
    const std::string line = fake::utf8(created().at(run).command_line);
    const std::size_t from = line.find("--speed-time 120") + 16;
    const std::size_t to = line.find(" -o ");
    return {line.substr(from, to - from)};
  }
};

TEST_F(DriverReruns, OptionsFollowTheVersion) {
  struct Row {
    std::string answer;
    std::string options;
  };
  for (const Row& row :
       {Row{"", " --retry-connrefused"}, Row{"curl 7.55.1 (Windows) libcurl/7.55.1 WinSSL\r\n", " --retry-connrefused"},
        Row{"curl 7.69.1 (Windows)\n", " --retry-connrefused"},
        Row{"curl 7.70.0 (Windows)\n", " --retry-connrefused --ssl-revoke-best-effort"},
        Row{"curl 7.71.0 (Windows)\n", " --retry-connrefused --ssl-revoke-best-effort --retry-all-errors"},
        Row{"curl 8.13.0 (Windows)\n", " --retry-connrefused --ssl-revoke-best-effort --retry-all-errors"},
        Row{"garbage\n", " --retry-connrefused"}}) {
    fake::reset();
    SetUp();
    curl_answers(row.answer, {0});
    const auto outcome = run();
    EXPECT_EQ(outcome.exit_code, 0u) << row.answer;
    ASSERT_EQ(version_probes().size(), 1u);
    ASSERT_EQ(created().size(), 2u);
    EXPECT_EQ(added_options(0), std::vector<std::string>{row.options}) << row.answer;
  }
}

// The version is asked first, of the same curl, and nothing of it shows.
TEST_F(DriverReruns, TheVersionIsAskedOnceBeforeTheDownload) {
  curl_answers("curl 8.13.0 (Windows)\n", {0});
  const auto outcome = run();
  EXPECT_EQ(outcome.out, kRunBanner + kRunLaunching);
  EXPECT_EQ(outcome.err, "");
  ASSERT_EQ(w().created.size(), 3u);
  EXPECT_EQ(w().created[0].command_line, u"\"curl\" -V");
  EXPECT_EQ(w().created[0].application, kRunCurl);
  EXPECT_EQ(w().created[1].application, kRunCurl);
}

// A curl that cannot be started is reported once, as before.
TEST_F(DriverReruns, ACurlThatCannotStartIsReportedOnce) {
  w().programs[kRunCurl] = fake::Program{.start_error = win::ERROR_ACCESS_DENIED};
  streams_.input->readable = "\r\n";
  const auto outcome = run();
  EXPECT_EQ(outcome.exit_code, 1u);
  EXPECT_EQ(outcome.err,
            "无法运行下载工具：Access is denied. (os error 5)\n"
            "请确保系统为 Windows 10 或更高版本。\n");
  EXPECT_EQ(outcome.out, kRunBanner + kRunPrompt);
  EXPECT_EQ(w().count_calls("CreateProcessW"), 1u);
}

TEST_F(DriverReruns, ADroppedConnectionIsRunAgainTwoSecondsLater) {
  curl_answers("curl 7.55.1 (Windows)\n", {56, 18, 0});
  const auto outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.out, kRunBanner + kRunLaunching);
  EXPECT_EQ(outcome.err, "");
  // Three downloads with the same command line, then the installer.
  const auto started = created();
  ASSERT_EQ(started.size(), 4u);
  EXPECT_EQ(started[1].command_line, started[0].command_line);
  EXPECT_EQ(started[2].command_line, started[0].command_line);
  EXPECT_EQ(started[3].application, kRunInstaller);
  // Two pauses of 2 s between the runs, then the 2 s before the exit.
  ASSERT_EQ(w().timer_sets.size(), 3u);
  for (const auto& set : w().timer_sets) EXPECT_EQ(set.due, -20'000'000);
}

TEST_F(DriverReruns, TheLastExitCodeIsReportedAfterTheReruns) {
  curl_answers("curl 7.55.1 (Windows)\n", {56, 52, 55, 18});
  streams_.input->readable = "\r\n";
  const auto outcome = run();
  EXPECT_EQ(outcome.exit_code, 1u);
  EXPECT_EQ(outcome.err, "下载失败（错误码 18）\n请检查网络连接后重试，或联系客服获取安装包。\n");
  EXPECT_EQ(outcome.out, kRunBanner + kRunPrompt);
  EXPECT_EQ(created().size(), 4u);
}

TEST_F(DriverReruns, ANewCurlIsNotRunAgain) {
  curl_answers("curl 8.13.0 (Windows)\n", {56});
  streams_.input->readable = "\r\n";
  const auto outcome = run();
  EXPECT_EQ(outcome.err, "下载失败（错误码 56）\n请检查网络连接后重试，或联系客服获取安装包。\n");
  EXPECT_EQ(created().size(), 1u);
  EXPECT_TRUE(w().timer_sets.empty());
}

// Without a signer the program cannot do without revocation: 35 stays a
// failure (the signer build's test runs it again).
TEST_F(DriverReruns, AFailedHandshakeIsAFailureWithoutASigner) {
  curl_answers("curl 7.55.1 (Windows)\n", {35, 0});
  streams_.input->readable = "\r\n";
  const auto outcome = run();
  EXPECT_EQ(outcome.err, "下载失败（错误码 35）\n请检查网络连接后重试，或联系客服获取安装包。\n");
  ASSERT_EQ(created().size(), 1u);
  EXPECT_EQ(fake::utf8(created()[0].command_line).find("--ssl-no-revoke"), std::string::npos);
}

}  // namespace
}  // namespace vant
