// The real exe asks the stand-in curl its version (curl -V on a pipe, no
// input, no error stream, nothing shown), gives it the options that
// version knows and no other, and runs an older curl again after a
// connection that broke.
#include <string>

#include "expected_output.h"
#include "setup_run.h"
#include "support/text.h"

namespace vant_test {
namespace {

using CurlVersionRun = SetupRun;

// The options between "--speed-time 120" and "-o" of a download's command line.
std::wstring added_options(const Record& curl) {
  const std::wstring line = curl.units("command_line").value_or(L"");
  const std::size_t from = line.find(L"--speed-time 120") + 16;
  return line.substr(from, line.find(L" -o ") - from);
}

TEST_F(CurlVersionRun, IsAskedOnAPipeAndShowsNothing) {
  env_[L"VANT_TEST_CURL_VERSION"] = L"curl 8.13.0 (Windows) libcurl/8.13.0 Schannel zlib/1.3.1 WinIDN";
  const RunResult result = run();
  EXPECT_EQ(result.launch.exit_code, 0u);
  EXPECT_EQ(result.out, expected::kSuccessOutput);
  EXPECT_EQ(result.err, "");

  const Record& probe = only_record(result.curl_version, "curl -V");
  EXPECT_EQ(probe.units("image"), app_ + L"\\curl.exe");
  EXPECT_EQ(probe.get("argc"), "2");
  EXPECT_EQ(probe.get("stdin"), "none");
  EXPECT_EQ(probe.get("stderr"), "none");
  EXPECT_EQ(probe.get("stdout"), "pipe");

  const Record& curl = only_record(result.curl, "curl");
  EXPECT_EQ(added_options(curl), L" --retry-connrefused --ssl-revoke-best-effort --retry-all-errors");
}

// Windows 10's first curl knows none of the newer options: it would exit
// 2 on every run.
TEST_F(CurlVersionRun, AnOldCurlGetsOnlyWhatItKnows) {
  for (const wchar_t* answer : {L"curl 7.55.1 (Windows) libcurl/7.55.1 WinSSL", L"curl 7.69.1 (Windows)", L"what?"}) {
    SetUp();
    env_[L"VANT_TEST_CURL_VERSION"] = answer;
    const RunResult result = run();
    EXPECT_EQ(result.launch.exit_code, 0u) << to_utf8(answer);
    const Record& curl = only_record(result.curl, "curl");
    EXPECT_EQ(added_options(curl), L" --retry-connrefused") << to_utf8(answer);
  }
}

TEST_F(CurlVersionRun, AnOldCurlIsRunAgainAfterADroppedConnection) {
  env_[L"VANT_TEST_CURL_VERSION"] = L"curl 7.55.1 (Windows) libcurl/7.55.1 WinSSL";
  env_[L"VANT_TEST_CURL_EXITS"] = L"56,18,0";
  const RunResult result = run();
  EXPECT_EQ(result.launch.exit_code, 0u);
  EXPECT_EQ(result.out, expected::kSuccessOutput);
  EXPECT_EQ(result.err, "");
  ASSERT_EQ(result.curl.size(), 3u);
  EXPECT_EQ(result.curl[1].units("command_line"), result.curl[0].units("command_line"));
  EXPECT_EQ(result.curl[2].units("command_line"), result.curl[0].units("command_line"));
  EXPECT_EQ(result.curl_version.size(), 1u);
  EXPECT_EQ(result.installer.size(), 1u);
}

TEST_F(CurlVersionRun, TheLastCodeIsReportedWhenTheRerunsAreSpent) {
  env_[L"VANT_TEST_CURL_VERSION"] = L"curl 7.55.1 (Windows) libcurl/7.55.1 WinSSL";
  env_[L"VANT_TEST_CURL_EXITS"] = L"56,56,56,52";
  const RunResult result = run();
  EXPECT_EQ(result.launch.exit_code, 1u);
  EXPECT_EQ(result.err, expected::download_failed("52"));
  EXPECT_EQ(result.out, expected::kBanner + expected::kPressEnter);
  EXPECT_EQ(result.curl.size(), 4u);
  EXPECT_TRUE(result.installer.empty());
}

// A new curl retries by itself: the program does not run it again.
TEST_F(CurlVersionRun, ANewCurlIsNotRunAgain) {
  env_[L"VANT_TEST_CURL_VERSION"] = L"curl 8.13.0 (Windows)";
  env_[L"VANT_TEST_CURL_EXITS"] = L"56,0";
  const RunResult result = run();
  EXPECT_EQ(result.launch.exit_code, 1u);
  EXPECT_EQ(result.err, expected::download_failed("56"));
  EXPECT_EQ(result.curl.size(), 1u);
}

}  // namespace
}  // namespace vant_test
