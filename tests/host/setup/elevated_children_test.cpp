// What curl and the installer get of the user's when the run is elevated:
// not the variables that change what curl trusts, not the user's current
// folder, not the user's TEMP and TMP; and a failed elevated run leaves no
// folder behind. Unelevated, all of it is as the user has it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "command_line_reading.h"
#include "fake_windows.h"
#include "support/driver_run.h"

namespace vant {
namespace {

using ::testing::IsEmpty;
using testing::kRunCurl;

constexpr char16_t kWindowsTemp[] = u"C:\\Windows\\Temp\\";
constexpr char16_t kUserFolder[] = u"C:\\Users\\user\\Downloads";
constexpr char16_t kUserTemp[] = u"C:\\Users\\user\\AppData\\Local\\Temp";
constexpr char16_t kInstallerName[] = u"vant_installer_latest.exe";
const std::vector<std::u16string> kTrustVariables = {u"CURL_CA_BUNDLE", u"SSL_CERT_FILE", u"SSL_CERT_DIR",
                                                     u"SSLKEYLOGFILE", u"CURL_SSL_BACKEND"};
const std::vector<std::u16string> kProxyVariables = {u"https_proxy", u"ALL_PROXY", u"NO_PROXY"};

std::u16string output_argument(const fake::CreateProcessCall& call) {
  const auto argv = testing::parse_like_c_runtime(call.command_line).argv;
  for (std::size_t i = 0; i + 1 < argv.size(); ++i) {
    if (argv[i] == u"-o") return argv[i + 1];
  }
  return u"";
}

// Any folder under Windows' Temp named by the run.
std::vector<std::u16string> run_folders() {
  std::vector<std::u16string> found;
  for (const auto& [path, attributes] : fake::world().files) {
    if (path.starts_with(std::u16string(kWindowsTemp) + u"vant-")) found.push_back(path);
  }
  return found;
}

class ChildrenOfARun : public testing::DriverRun {
 protected:
  void SetUp() override {
    DriverRun::SetUp();
    // The user's programs set these (HKCU\Environment), and the user runs
    // the program from Downloads.
    for (const auto& name : kTrustVariables) w().environment[name] = u"C:\\Users\\user\\evil";
    w().environment[u"https_proxy"] = u"http://proxy:8080";
    w().environment[u"ALL_PROXY"] = u"http://proxy:8080";
    w().environment[u"NO_PROXY"] = u"localhost";
    w().environment[u"TEMP"] = kUserTemp;
    w().environment[u"TMP"] = kUserTemp;
    w().add_directory(kUserFolder);
    w().current_directory = kUserFolder;
    fake::Program curl;
    curl.on_start = [](const fake::CreateProcessCall& call) {
      EXPECT_EQ(fake::world().child_writes_file(output_argument(call), "genuine"), 0u);
    };
    w().programs[kRunCurl] = curl;
  }
};

TEST_F(ChildrenOfARun, ElevatedTheyGetNothingOfTheUsersThatChangesWhatTheyTrustOrWhereTheyWrite) {
  w().elevated = true;
  const testing::RunOutcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  ASSERT_EQ(created().size(), 2u);
  const fake::CreateProcessCall curl = created()[0];
  const fake::CreateProcessCall installer = created()[1];
  // The question of curl's version goes to the same curl, kept out alike.
  ASSERT_EQ(version_probes().size(), 1u);
  EXPECT_EQ(version_probes()[0].environment, curl.environment);
  EXPECT_EQ(version_probes()[0].current_directory, curl.current_directory);
  const std::u16string folder = installer.application.substr(0, installer.application.rfind(u'\\'));
  ASSERT_TRUE(folder.starts_with(kWindowsTemp)) << fake::utf8(folder);

  for (const fake::CreateProcessCall* child : {&curl, &installer}) {
    SCOPED_TRACE(fake::utf8(child->application));
    for (const auto& name : kTrustVariables) EXPECT_EQ(child->variable(name), std::nullopt) << fake::utf8(name);
    for (const auto& name : kProxyVariables) EXPECT_EQ(child->variable(name), w().environment[name]);
    EXPECT_EQ(child->folder, folder);
  }
  EXPECT_EQ(installer.variable(u"TEMP"), folder);
  EXPECT_EQ(installer.variable(u"TMP"), folder);
  // The rest of the environment is the program's own.
  EXPECT_EQ(curl.variable(u"PATH"), w().environment[u"PATH"]);
  EXPECT_EQ(installer.variable(u"PATH"), w().environment[u"PATH"]);
  // curl still gets the full path (the folder is ASCII).
  EXPECT_EQ(output_argument(curl), folder + u"\\" + kInstallerName);
}

TEST_F(ChildrenOfARun, UnelevatedTheyGetTheEnvironmentAndCurrentFolderUnchanged) {
  const testing::RunOutcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  ASSERT_EQ(created().size(), 2u);
  for (const fake::CreateProcessCall& child : created()) {
    SCOPED_TRACE(fake::utf8(child.application));
    EXPECT_TRUE(child.environment_null);
    EXPECT_TRUE(child.current_directory_null);
    EXPECT_EQ(child.folder, kUserFolder);
    for (const auto& name : kTrustVariables) EXPECT_EQ(child.variable(name), u"C:\\Users\\user\\evil");
    EXPECT_EQ(child.variable(u"TEMP"), kUserTemp);
  }
}

struct FailedRunCase {
  const char* name;
  std::function<void(testing::DriverRun&, fake::FakeWindows&)> arrange;
  bool folder_kept;  // the user is shown the installer's path
};

class FailedElevatedRun : public ChildrenOfARun, public ::testing::WithParamInterface<FailedRunCase> {
 public:
  static void curl_leaves(fake::FakeWindows& w, win::DWORD code, bool partial_file) {
    fake::Program curl;
    curl.exit_code = code;
    if (partial_file) {
      curl.on_start = [](const fake::CreateProcessCall& call) {
        EXPECT_EQ(fake::world().child_writes_file(output_argument(call), "partial"), 0u);
      };
    }
    w.programs[kRunCurl] = curl;
  }
};

// The folder goes before the Enter prompt, with what curl left in it.
TEST_P(FailedElevatedRun, LeavesNoFolderBehindUnlessTheUserIsShownTheInstaller) {
  w().elevated = true;
  GetParam().arrange(*this, w());
  // What the folder holds when the prompt is printed.
  std::vector<std::u16string> at_prompt;
  bool prompted = false;
  w().on_call = [&](const std::string& entry) {
    if (!prompted && entry.starts_with("NtReadFile")) {
      prompted = true;
      at_prompt = run_folders();
    }
  };
  const testing::RunOutcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 1u);
  EXPECT_TRUE(prompted);
  if (GetParam().folder_kept) {
    EXPECT_EQ(run_folders().size(), 2u) << "the folder and the installer in it";
  } else {
    EXPECT_THAT(at_prompt, IsEmpty());
    EXPECT_THAT(run_folders(), IsEmpty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedElevatedRun,
    ::testing::Values(FailedRunCase{"DownloadFailedWithAPartialFile",
                                    [](auto&, auto& w) { FailedElevatedRun::curl_leaves(w, 28, true); }, false},
                      FailedRunCase{"DownloadFailedWithoutAFile",
                                    [](auto&, auto& w) { FailedElevatedRun::curl_leaves(w, 6, false); }, false},
                      FailedRunCase{"CurlNotFound", [](auto&, auto& w) { w.remove_path(kRunCurl); }, false},
                      FailedRunCase{"CurlCannotBeWaitedFor",
                                    [](auto&, auto& w) {
                                      FailedElevatedRun::curl_leaves(w, 0, true);
                                      w.programs[kRunCurl].wait_error = win::ERROR_ACCESS_DENIED;
                                    },
                                    false},
                      FailedRunCase{"InstallerCannotBeStarted",
                                    [](auto&, auto& w) {
                                      w.programs[kRunCurl].on_start = [](const fake::CreateProcessCall& call) {
                                        const std::u16string file = output_argument(call);
                                        EXPECT_EQ(fake::world().child_writes_file(file, "genuine"), 0u);
                                        fake::world().programs[file].start_error = win::ERROR_BAD_EXE_FORMAT;
                                      };
                                    },
                                    true}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
}  // namespace vant
