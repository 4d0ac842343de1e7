// The road of a successful run: banner, download by the stand-in, installer
// started from its exact path, two seconds' pause, exit code 0.
#include <string>

#include "expected_output.h"
#include "setup_run.h"
#include "support/text.h"

namespace vant_test {
namespace {

using SuccessfulRun = SetupRun;

// How the download tool's command line carries the installer path: in
// double quotes only when it holds a space or a tab.
std::wstring as_argument(const std::wstring& path) {
  return path.find_first_of(L" \t") == std::wstring::npos ? path : L"\"" + path + L"\"";
}

TEST_F(SuccessfulRun, PrintsElevenLinesStartsTheInstallerAndExitsZero) {
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 0u);
  // Exact bytes: UTF-8 as printed, line feeds only, no byte-order mark.
  EXPECT_EQ(result.out, expected::kSuccessOutput);
  EXPECT_EQ(lines_of(result.out).size(), 11u);
  EXPECT_EQ(result.out.find('\r'), std::string::npos);
  EXPECT_EQ(result.err, "");

  const Record& curl = only_record(result.curl, "curl");
  EXPECT_EQ(curl.units("image"), app_ + L"\\curl.exe");
  const std::wstring address = from_utf8(expected::kDownloadAddress);
  EXPECT_EQ(curl.units("command_line"),
            L"\"curl\" --disable -L --proto-redir =https --fail --progress-bar --retry 3 --retry-delay 2 "
            L"--connect-timeout 120 --speed-limit 1 --speed-time 120 --retry-connrefused -o " +
                as_argument(installer_path()) + L" " + address);
  // The program name and the twenty download arguments, --disable first:
  // curl looks for it only there.
  const std::wstring arguments[] = {L"curl",
                                    L"--disable",
                                    L"-L",
                                    L"--proto-redir",
                                    L"=https",
                                    L"--fail",
                                    L"--progress-bar",
                                    L"--retry",
                                    L"3",
                                    L"--retry-delay",
                                    L"2",
                                    L"--connect-timeout",
                                    L"120",
                                    L"--speed-limit",
                                    L"1",
                                    L"--speed-time",
                                    L"120",
                                    L"--retry-connrefused",
                                    L"-o",
                                    installer_path(),
                                    address};
  ASSERT_EQ(curl.get("argc"), expected::kCurlArgcText);
  for (int i = 0; i < expected::kCurlArgc; ++i)
    EXPECT_EQ(curl.units("arg." + std::to_string(i)), arguments[i]) << "argument " << i;
  EXPECT_EQ(curl.get("payload"), "copied");

  const Record& installer = only_record(result.installer, "the installer");
  EXPECT_EQ(installer.units("image"), installer_path());
  EXPECT_EQ(installer.units("command_line"), L"\"" + installer_path() + L"\"");
  EXPECT_EQ(installer.get("argc"), "1");

  // The pause: the bootstrapper ends at least two seconds after the
  // installer's process was created (both times from the system's process
  // table, on one clock). Only the lower bound is checked.
  const auto created = installer.number("creation_ticks");
  ASSERT_TRUE(created.has_value());
  ASSERT_NE(result.launch.exit_ticks, 0u);
  EXPECT_GE(static_cast<long long>(result.launch.exit_ticks - *created), 20'000'000)
      << "ended " << (static_cast<long long>(result.launch.exit_ticks) - static_cast<long long>(*created)) / 10'000
      << " ms after the installer was created";
}

}  // namespace
}  // namespace vant_test
