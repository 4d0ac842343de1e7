// The three reported failures after the banner: the download tool ends with
// a code other than 0, or ends with 0 but the installer cannot be started.
// Each writes its messages to the error stream, asks for Enter on the output
// stream and exits 1 (standard input is NUL here, so the prompt ends at once).
#include <cstdint>
#include <string>

#include "expected_output.h"
#include "setup_run.h"
#include "support/text.h"

namespace vant_test {
namespace {

struct ExitCodeCase {
  const char* name;
  std::uint32_t code;
  const char* shown;  // signed decimal, as the message shows it
};

class DownloadToolExitCode : public SetupRun, public ::testing::WithParamInterface<ExitCodeCase> {};

TEST_P(DownloadToolExitCode, IsShownSignedAndTheInstallerIsNotStarted) {
  // The stand-in still leaves an installer behind: only the exit code counts.
  env_[L"VANT_TEST_CURL_EXIT"] = std::to_wstring(GetParam().code);
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 1u);
  EXPECT_EQ(result.err, expected::download_failed(GetParam().shown));
  EXPECT_EQ(result.out, expected::kBanner + expected::kPressEnter);
  EXPECT_EQ(result.curl.size(), 1u);
  EXPECT_TRUE(result.installer.empty());
}

INSTANTIATE_TEST_SUITE_P(Codes, DownloadToolExitCode,
                         ::testing::Values(ExitCodeCase{"HttpError22", 22, "22"}, ExitCodeCase{"One", 1, "1"},
                                           // low byte 0: lost by anything that keeps only 8 bits
                                           ExitCodeCase{"LowByteZero", 256, "256"},
                                           ExitCodeCase{"LargestPositive", 0x7FFFFFFF, "2147483647"},
                                           ExitCodeCase{"TopBitOnly", 0x80000000, "-2147483648"},
                                           ExitCodeCase{"AccessViolation", 0xC0000005, "-1073741819"},
                                           ExitCodeCase{"AllBits", 0xFFFFFFFF, "-1"}),
                         CaseName());

struct PayloadCase {
  const char* name;
  const char* bytes;  // nullptr: the download tool writes no file at all
  const char* os_error;
};

class InstallerStart : public SetupRun, public ::testing::WithParamInterface<PayloadCase> {};

TEST_P(InstallerStart, FailsWithTheSystemErrorAndShowsWhereTheFileIs) {
  if (GetParam().bytes == nullptr) {
    env_.erase(L"VANT_TEST_CURL_PAYLOAD");
  } else {
    env_[L"VANT_TEST_CURL_PAYLOAD"] = write_file(L"payload.bin", GetParam().bytes);
  }
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 1u);
  EXPECT_EQ(result.out, expected::kBanner + expected::kStartingInstaller + expected::kPressEnter);
  const auto lines = lines_of(result.err);
  ASSERT_EQ(lines.size(), 3u) << result.err;
  EXPECT_TRUE(is_os_error_line(lines[0], expected::kCannotStartInstallerPrefix, GetParam().os_error));
  EXPECT_EQ(lines[1], expected::downloaded_to(to_utf8(installer_path())));
  EXPECT_EQ(lines[2], expected::kRunByHand);
  EXPECT_EQ(result.curl.size(), 1u);
  EXPECT_TRUE(result.installer.empty());
}

INSTANTIATE_TEST_SUITE_P(Payloads, InstallerStart,
                         ::testing::Values(PayloadCase{"NoFile", nullptr, "2"},  // file not found
                                                                                 // not a valid Win32 application
                                           PayloadCase{"TextFile", "this is not a program\r\n", "193"},
                                           PayloadCase{"EmptyFile", "", "193"}),
                         CaseName());

}  // namespace
}  // namespace vant_test
