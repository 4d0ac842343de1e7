// The downloaded installer is held open from curl's exit until its start:
// another program of the user can neither write, rename, replace nor delete
// it in between, what starts is what curl left, and the hold ends once
// CreateProcessW has returned, on every path.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "fake_windows.h"
#include "process/hold_file.h"
#include "support/driver_run.h"
#include "support/installer_attack.h"

namespace vant {
namespace {

using testing::kRunInstaller;

class InstallerHold : public testing::DriverRun {
 protected:
  void SetUp() override {
    DriverRun::SetUp();
    // curl leaves the genuine file.
    fake::Program curl;
    curl.on_start = [](const fake::CreateProcessCall&) {
      fake::world().add_file(kRunInstaller);
      fake::world().contents[kRunInstaller] = "genuine";
    };
    w().programs[testing::kRunCurl] = curl;
  }

  std::size_t index_of(std::string_view call) const {
    const auto& calls = w().calls;
    return static_cast<std::size_t>(std::find(calls.begin(), calls.end(), call) - calls.begin());
  }
};

TEST_F(InstallerHold, NothingReachesTheFileBetweenCurlsExitAndTheStart) {
  testing::InstallerAttack attack(kRunInstaller);
  const testing::RunOutcome outcome = run();

  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.err, "");
  // Tried at every call from the open to the start, and always refused.
  EXPECT_GE(attack.attempts().size(), 10u);
  EXPECT_THAT(attack.got_through(), ::testing::IsEmpty());
  ASSERT_EQ(created().size(), 2u);
  EXPECT_EQ(created()[1].application, kRunInstaller);
  EXPECT_EQ(created()[1].image, "genuine");
}

TEST_F(InstallerHold, OpensForReadingSharingOnlyReadingRightAfterCurlsExit) {
  run();
  ASSERT_EQ(w().create_file_calls.size(), 1u);
  const fake::CreateFileCall& open = w().create_file_calls[0];
  EXPECT_EQ(open.path, kRunInstaller);
  EXPECT_EQ(open.access, win::GENERIC_READ);
  EXPECT_EQ(open.share, win::FILE_SHARE_READ);
  EXPECT_TRUE(open.attributes_null);
  EXPECT_EQ(open.disposition, win::OPEN_EXISTING);
  EXPECT_TRUE(open.template_null);
  // Before the download-complete lines: the first write after curl's exit
  // comes after the open.
  const auto& calls = w().calls;
  const std::size_t exit_code = index_of("GetExitCodeProcess");
  const std::size_t opened = index_of("CreateFileW(" + fake::utf8(kRunInstaller) + ")");
  ASSERT_LT(exit_code, opened);
  EXPECT_EQ(std::count_if(calls.begin() + static_cast<std::ptrdiff_t>(exit_code),
                          calls.begin() + static_cast<std::ptrdiff_t>(opened),
                          [](const std::string& call) { return call.starts_with("NtWriteFile"); }),
            0);
  // The installer does not inherit the hold.
  ASSERT_EQ(created().size(), 2u);
  EXPECT_THAT(created()[1].inheritable_handles, ::testing::Not(::testing::Contains(open.result)));
}

// One row per way the run ends after the open; the hold is open while
// CreateProcessW runs (if it does) and closed before the process ends,
// not left to the operating system.
struct Ending {
  const char* name;
  std::optional<win::DWORD> start_error;
  win::DWORD exit_code;
};

class HoldEnding : public InstallerHold, public ::testing::WithParamInterface<Ending> {};

TEST_P(HoldEnding, HoldIsClosedOnceTheStartHasReturned) {
  if (GetParam().start_error) w().programs[kRunInstaller] = fake::Program{.start_error = GetParam().start_error};
  testing::InstallerAttack attack(kRunInstaller);
  const testing::RunOutcome outcome = run();

  EXPECT_EQ(outcome.exit_code, GetParam().exit_code);
  EXPECT_TRUE(attack.held_at_start());
  EXPECT_FALSE(attack.held_at_exit());
  const auto& closed = w().closed;
  EXPECT_EQ(std::count(closed.begin(), closed.end(), attack.held()), 1);
}

INSTANTIATE_TEST_SUITE_P(Paths, HoldEnding,
                         ::testing::Values(Ending{"Started", std::nullopt, 0},
                                           Ending{"StartFailed", win::ERROR_BAD_EXE_FORMAT, 1}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// A virus scanner may still have the new file open, sharing nothing. The
// open is tried again, 100 ms apart, up to a bound; then the user is told
// the installer could not be started, with the sharing violation.
struct Scanner {
  const char* name;
  int lets_go_after;  // failed attempts before the scanner closes the file
  win::DWORD exit_code;
};

class BusyInstaller : public InstallerHold, public ::testing::WithParamInterface<Scanner> {};

TEST_P(BusyInstaller, IsTriedAgainForABoundedTime) {
  scanner_holds_installer_after_curl();
  int attempts = 0;
  w().on_call = [&](const std::string& call) {
    if (call.starts_with("CreateFileW(") && attempts++ == GetParam().lets_go_after) w().other_party_lets_go();
  };
  const testing::RunOutcome outcome = run();

  const int expected_attempts = std::min(GetParam().lets_go_after + 1, kHoldAttempts);
  EXPECT_EQ(w().create_file_calls.size(), static_cast<std::size_t>(expected_attempts));
  EXPECT_EQ(std::count(w().sleeps.begin(), w().sleeps.end(), kHoldRetryDelayMs), expected_attempts - 1);
  EXPECT_EQ(outcome.exit_code, GetParam().exit_code);
  if (GetParam().exit_code == 0) {
    EXPECT_EQ(outcome.err, "");
  } else {
    EXPECT_EQ(outcome.err,
              "无法启动安装程序：OS Error 32 (FormatMessageW() returned error 317) (os error 32)\n"
              "安装包已下载到：C:\\Users\\user\\AppData\\Local\\Temp\\vant_installer_latest.exe\n"
              "请手动运行该文件完成安装。\n");
    EXPECT_EQ(created().size(), 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(Scanners, BusyInstaller,
                         ::testing::Values(Scanner{"LetsGoAtOnce", 0, 0}, Scanner{"LetsGoAfterThreeTries", 3, 0},
                                           Scanner{"LetsGoAtTheLastTry", kHoldAttempts - 1, 0},
                                           Scanner{"NeverLetsGo", kHoldAttempts, 1}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(InstallerHold, OtherOpenFailuresAreNotRetried) {
  // A folder where the file should be: the open is refused at once.
  fake::Program curl;
  curl.on_start = [](const fake::CreateProcessCall&) { fake::world().add_directory(kRunInstaller); };
  w().programs[testing::kRunCurl] = curl;
  const testing::RunOutcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 1u);
  EXPECT_EQ(w().create_file_calls.size(), 1u);
  EXPECT_TRUE(w().sleeps.empty());
  EXPECT_THAT(outcome.err, ::testing::StartsWith("无法启动安装程序：Access is denied. (os error 5)\n"));
}

}  // namespace
}  // namespace vant
