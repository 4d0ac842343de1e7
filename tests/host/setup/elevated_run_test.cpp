// An elevated run downloads into and starts from a folder of its own that
// only administrators can change, looks for curl only where only
// administrators can write, and never reads where the user's environment
// points. An unelevated run is as it always was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "command_line_reading.h"
#include "fake_windows.h"
#include "paths/staging_folder.h"
#include "support/driver_run.h"
#include "support/folder_attack.h"

namespace vant {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::kRunBanner;
using testing::kRunCurl;
using testing::kRunLaunching;
using testing::kRunPrompt;

constexpr char16_t kWindowsTemp[] = u"C:\\Windows\\Temp\\";
constexpr char16_t kUserTemp[] = u"C:\\Users\\user\\AppData\\Local\\Temp\\";
constexpr char16_t kBesideProgram[] = u"C:\\Program Files\\VANT\\curl.exe";
constexpr char16_t kInstallerName[] = u"vant_installer_latest.exe";

// curl's "-o" argument in a start's command line.
std::u16string output_argument(const fake::CreateProcessCall& call) {
  const auto argv = testing::parse_like_c_runtime(call.command_line).argv;
  for (std::size_t i = 0; i + 1 < argv.size(); ++i) {
    if (argv[i] == u"-o") return argv[i + 1];
  }
  ADD_FAILURE() << "no -o in " << fake::utf8(call.command_line);
  return u"";
}

class ElevatedRun : public testing::DriverRun {
 protected:
  void SetUp() override {
    DriverRun::SetUp();
    w().elevated = true;
    // curl writes where its -o says, with the program's rights.
    fake::Program curl;
    curl.on_start = [](const fake::CreateProcessCall& call) {
      EXPECT_EQ(fake::world().child_writes_file(output_argument(call), "genuine"), 0u);
    };
    w().programs[kRunCurl] = curl;
  }

  // The folder the run made, from its one successful CreateDirectoryW.
  std::u16string made_folder() const {
    for (const auto& call : w().directory_calls) {
      if (call.result == 0) return call.path;
    }
    return u"";
  }
};

TEST_F(ElevatedRun, DownloadsIntoANewFolderUnderTheWindowsTempAndStartsTheInstallerThere) {
  const testing::RunOutcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.out, kRunBanner + kRunLaunching);
  EXPECT_EQ(outcome.err, "");

  const std::u16string folder = made_folder();
  ASSERT_TRUE(folder.starts_with(kWindowsTemp)) << fake::utf8(folder);
  // "vant-" and 32 hex digits: 128 random bits.
  const std::u16string name = folder.substr(std::u16string_view(kWindowsTemp).size());
  ASSERT_EQ(name.size(), 5u + 32u);
  EXPECT_TRUE(name.starts_with(u"vant-"));
  EXPECT_EQ(name.find_first_not_of(u"0123456789abcdef", 5), std::u16string::npos);

  const std::u16string installer = folder + u"\\" + kInstallerName;
  ASSERT_EQ(created().size(), 2u);
  EXPECT_EQ(output_argument(created()[0]), installer);
  EXPECT_EQ(created()[1].application, installer);
  EXPECT_EQ(created()[1].command_line, u"\"" + installer + u"\"");
  EXPECT_EQ(created()[1].image, "genuine");
  // Nothing was written where the user's temporary folder is.
  for (const auto& [path, content] : w().contents) EXPECT_FALSE(path.starts_with(kUserTemp)) << fake::utf8(path);
}

// At every seam call from the folder's creation to the installer's start,
// another program of the user creates, replaces, renames, deletes and
// redirects nothing on the folder's path or in it, and what starts is what
// curl wrote.
TEST_F(ElevatedRun, AnotherProgramOfTheUserReachesNothingFromTheFolderToTheStart) {
  testing::FolderAttack attack;
  const testing::RunOutcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.err, "");
  EXPECT_GE(attack.rounds(), 20u);
  EXPECT_THAT(attack.got_through(), IsEmpty());
  ASSERT_EQ(created().size(), 2u);
  EXPECT_TRUE(created()[1].application.starts_with(attack.folder()));
  EXPECT_EQ(created()[1].image_file, created()[1].application);
  EXPECT_EQ(created()[1].image, "genuine");
}

// What the attack above is up against: the user's temporary folder and
// Windows' Temp itself are open to it. (Unelevated, the installer runs as
// that same user, so there is nothing to gain there.)
TEST_F(ElevatedRun, TheUsersTemporaryFolderAndWindowsTempAreOpenToTheOtherParty) {
  ASSERT_EQ(w().other_party_creates(std::u16string(kUserTemp) + u"version.dll", "planted"), 0u);
  ASSERT_EQ(w().other_party_creates_folder(std::u16string(kUserTemp) + u"sub"), 0u);
  ASSERT_EQ(w().other_party_creates(std::u16string(kWindowsTemp) + u"vant-guess", "planted"), 0u);
}

// Wherever TEMP and TMP point (another folder of the user's, Windows' Temp
// itself, a folder that does not exist), the run neither asks nor cares.
TEST_F(ElevatedRun, WhereTempPointsChangesNothing) {
  for (const std::u16string& temp :
       {std::u16string(kUserTemp), std::u16string(kWindowsTemp), std::u16string(u"Q:\\x\\")}) {
    SCOPED_TRACE(fake::utf8(temp));
    SetUp();
    w().temp_path = temp;
    w().temp_path2 = temp;
    w().environment[u"TEMP"] = temp;
    w().environment[u"TMP"] = temp;
    const testing::RunOutcome outcome = run();
    EXPECT_EQ(outcome.exit_code, 0u);
    for (const char* never : {"GetTempPathW", "GetTempPath2W"}) {
      EXPECT_EQ(w().count_calls(never), 0u) << never;
    }
    // Only the proxy variables that curl itself would read.
    for (const std::string& call : w().calls) {
      if (!call.starts_with("GetEnvironmentVariableW")) continue;
      EXPECT_THAT(call, ::testing::AnyOf("GetEnvironmentVariableW(https_proxy)", "GetEnvironmentVariableW(ALL_PROXY)",
                                         "GetEnvironmentVariableW(NO_PROXY)"));
    }
    ASSERT_EQ(created().size(), 2u);
    EXPECT_TRUE(created()[1].application.starts_with(kWindowsTemp));
    EXPECT_NE(created()[1].application.rfind(u"\\vant-"), std::u16string::npos);
  }
}

// A name made beforehand (here a junction into the other party's folder)
// is passed over for a new one, and nothing reaches the junction's target.
TEST_F(ElevatedRun, AFolderThatExistsIsNeverUsed) {
  const std::vector<std::uint8_t> taken(16, 0xAA), fresh(16, 0x55);
  const std::u16string taken_folder = std::u16string(kWindowsTemp) + u"vant-" + std::u16string(32, u'a');
  ASSERT_EQ(w().other_party_redirects(taken_folder, kUserTemp), 0u);
  w().random_answers = {taken, fresh};

  const testing::RunOutcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  const std::u16string folder = std::u16string(kWindowsTemp) + u"vant-" + std::u16string(32, u'5');
  EXPECT_EQ(made_folder(), folder);
  ASSERT_EQ(created().size(), 2u);
  EXPECT_EQ(output_argument(created()[0]), folder + u"\\" + kInstallerName);
  EXPECT_FALSE(w().exists(std::u16string(kUserTemp) + kInstallerName));
}

struct NoFolderCase {
  const char* name;
  std::function<void(fake::FakeWindows&)> arrange;
  const char* report;  // in the fail-fast report
};

class ElevatedRunWithoutFolder : public ElevatedRun, public ::testing::WithParamInterface<NoFolderCase> {};

// As when Windows gives no temporary folder: the run ends at once, with the
// report and no prompt, and never falls back to %TEMP% or a fixed name.
TEST_P(ElevatedRunWithoutFolder, EndsTheRunAtOnce) {
  GetParam().arrange(w());
  const testing::RunOutcome outcome = run();
  EXPECT_EQ(outcome.fail_fast, win::FAST_FAIL_FATAL_APP_EXIT);
  EXPECT_FALSE(outcome.exit_code.has_value());
  EXPECT_EQ(outcome.out, kRunBanner);
  EXPECT_THAT(outcome.err, HasSubstr(GetParam().report));
  EXPECT_THAT(created(), IsEmpty());
  EXPECT_EQ(w().count_calls("GetTempPathW"), 0u);
  EXPECT_EQ(w().count_calls("GetTempPath2W"), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ElevatedRunWithoutFolder,
    ::testing::Values(
        NoFolderCase{"Refused", [](auto& w) { w.directory_errors = {win::ERROR_ACCESS_DENIED}; }, "code: 5"},
        NoFolderCase{"EveryNameTaken",
                     [](auto& w) { w.directory_errors.assign(kStagingFolderAttempts, win::ERROR_ALREADY_EXISTS); },
                     "code: 183"},
        NoFolderCase{"NoRandomGenerator", [](auto& w) { w.random_status = static_cast<win::NTSTATUS>(0xC000000D); },
                     "code: 87"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// Elevated, curl beside the program (usually Downloads) or on PATH (the
// user's environment) is never run.
TEST_F(ElevatedRun, CurlOnlyFromTheSystemAndWindowsFolders) {
  w().remove_path(kRunCurl);
  w().add_file(kBesideProgram);
  w().add_directory(u"C:\\Tools");
  w().add_file(u"C:\\Tools\\curl.exe");
  w().environment[u"PATH"] = u"C:\\Tools";
  const testing::RunOutcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 1u);
  EXPECT_EQ(outcome.err, "无法运行下载工具：program not found\n请确保系统为 Windows 10 或更高版本。\n");
  EXPECT_EQ(outcome.out, kRunBanner + kRunPrompt);
  EXPECT_THAT(created(), IsEmpty());

  // One in the Windows folder does run.
  SetUp();
  w().remove_path(kRunCurl);
  w().add_file(kBesideProgram);
  w().add_file(u"C:\\Windows\\curl.exe");
  w().programs[u"C:\\Windows\\curl.exe"].exit_code = 22;
  EXPECT_EQ(run().exit_code, 1u);
  ASSERT_EQ(created().size(), 1u);
  EXPECT_EQ(created()[0].application, u"C:\\Windows\\curl.exe");
}

TEST_F(ElevatedRun, AnElevationThatCannotBeReadEndsTheRunBeforeAnything) {
  w().open_token_error = win::ERROR_ACCESS_DENIED;
  const testing::RunOutcome outcome = run();
  EXPECT_EQ(outcome.fail_fast, win::FAST_FAIL_FATAL_APP_EXIT);
  EXPECT_EQ(outcome.out, "");
  EXPECT_THAT(outcome.err, HasSubstr("code: 5"));
  EXPECT_THAT(created(), IsEmpty());
}

// Not elevated: the user's temporary folder, curl beside the program
// before the Windows folder and PATH, no folder made, no generator asked.
TEST_F(ElevatedRun, UnelevatedRunIsAsBefore) {
  w().elevated = false;
  w().remove_path(kRunCurl);
  w().add_file(kBesideProgram);
  w().programs[kBesideProgram].on_start = [](const fake::CreateProcessCall& call) {
    EXPECT_EQ(fake::world().child_writes_file(output_argument(call), "genuine"), 0u);
  };
  const testing::RunOutcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  const std::u16string installer = std::u16string(kUserTemp) + kInstallerName;
  ASSERT_EQ(created().size(), 2u);
  EXPECT_EQ(created()[0].application, kBesideProgram);
  EXPECT_EQ(output_argument(created()[0]), installer);
  EXPECT_EQ(created()[1].application, installer);
  EXPECT_THAT(w().directory_calls, IsEmpty());
  EXPECT_EQ(w().random_calls, 0u);
  // Only WinHTTP, for the Windows proxy.
  EXPECT_EQ(w().loads.size(), 1u);
}

}  // namespace
}  // namespace vant
