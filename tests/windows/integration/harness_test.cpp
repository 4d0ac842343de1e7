// Checks of the test harness itself, run without the bootstrapper: if these
// fail, the other tests' verdicts mean nothing.
#include <string>

#include "setup_run.h"
#include "support/text.h"

namespace vant_test {
namespace {

using Harness = SetupRun;

// wine64 hands the shell only 8 bits of an exit code; the launcher must
// report all 32, both in-process and as the program the scripts use.
TEST_F(Harness, LauncherReportsAllThirtyTwoBitsOfAnExitCode) {
  for (const unsigned long code : {0xC0000005ul, 0xFFFFFFFFul, 0x100ul}) {
    LaunchRequest request;
    request.application = helper(L"vant_stand_in_curl.exe");
    request.environment = {L"VANT_TEST_CURL_EXIT=" + std::to_wstring(code)};
    request.std_in = request.std_out = request.std_err = StdStream::nul();
    EXPECT_EQ(launch(request).exit_code, code);

    const std::wstring report = scratch_ + L"report.txt";
    LaunchRequest via_launcher = request;
    via_launcher.application = helper(L"vant_launch.exe");
    via_launcher.command_line = L"vant_launch --env VANT_TEST_CURL_EXIT=" + std::to_wstring(code) + L" --report " +
                                quote_argument(report) + L" -- " + quote_argument(helper(L"vant_stand_in_curl.exe"));
    EXPECT_EQ(launch(via_launcher).exit_code, 0u);
    EXPECT_NE(read_file_bytes(report).value_or("").find("\nexit_code=" + std::to_string(code) + "\n"),
              std::string::npos)
        << read_file_bytes(report).value_or("(no report)");
  }
}

// The stand-in records the arguments exactly as CommandLineToArgvW splits
// them, down to a lone surrogate, and the exact command line.
TEST_F(Harness, DownloadToolStandInRecordsExactUnits) {
  LaunchRequest request;
  request.application = app_ + L"\\curl.exe";
  request.command_line =
      L"\"curl\" a\xD800"
      L"b \"c d\" \"\" e\\\\\"f\"";
  request.environment = {L"VANT_TEST_RECORD_DIR=" + records_};
  request.std_in = request.std_out = request.std_err = StdStream::nul();
  EXPECT_EQ(launch(request).exit_code, 0u);

  const auto records = read_records(records_ + L"\\curl.txt");
  const Record& curl = only_record(records, "curl");
  EXPECT_EQ(curl.units("command_line"), request.command_line);
  const std::wstring expected[] = {L"curl",
                                   L"a\xD800"
                                   L"b",
                                   L"c d", L"", L"e\\f"};
  ASSERT_EQ(curl.get("argc"), "5");
  for (int i = 0; i < 5; ++i) EXPECT_EQ(curl.units("arg." + std::to_string(i)), expected[i]) << i;
  EXPECT_EQ(curl.get("arg.1.text"),
            "a\xEF\xBF\xBD"
            "b");
}

}  // namespace
}  // namespace vant_test
