// The whole bootstrap sequence against the fake Windows: the bytes on each
// stream, the exit code, and exactly what the download tool and the
// installer were started with.
#include "setup/driver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>

#include "fake_windows.h"
#include "setup/messages.h"
#include "support/driver_run.h"

namespace vant {
namespace {

using ::testing::ElementsAre;

// The shared driver fixture's values under the names these tests use.
constexpr const char16_t* kTemp = testing::kRunTemp;
constexpr const char16_t* kCurl = testing::kRunCurl;
constexpr const char16_t* kInstaller = testing::kRunInstaller;
const std::string& kBanner = testing::kRunBanner;
const std::string& kLaunching = testing::kRunLaunching;
const std::string& kPrompt = testing::kRunPrompt;
const std::string kAddress = std::string("https://") + VANT_DOWNLOAD_HOST + "/download/latest";

using Outcome = testing::RunOutcome;

class DriverTest : public testing::DriverRun {
 protected:
  std::u16string curl_command_line(std::u16string_view output_path) const {
    return u"\"curl\" --disable -L --proto-redir =https --fail --progress-bar --retry 3 --retry-delay 2 "
           u"--connect-timeout 120 --speed-limit 1 --speed-time 120 --retry-connrefused -o " +
           std::u16string(output_path) + u" " + fake::u16(kAddress);
  }
};

TEST_F(DriverTest, SuccessWritesElevenLinesStartsTheInstallerPausesAndExits0) {
  curl_exits(0, true);
  const Outcome outcome = run();

  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.out, kBanner + kLaunching);
  EXPECT_EQ(std::count(outcome.out.begin(), outcome.out.end(), '\n'), 11);
  EXPECT_EQ(outcome.err, "");

  ASSERT_EQ(created().size(), 2u);
  const fake::CreateProcessCall curl = created()[0];
  EXPECT_EQ(curl.application, kCurl);
  EXPECT_EQ(curl.command_line, curl_command_line(kInstaller));
  const fake::CreateProcessCall installer = created()[1];
  EXPECT_EQ(installer.application, kInstaller);
  EXPECT_EQ(installer.command_line, u"\"" + std::u16string(kInstaller) + u"\"");

  // The pause comes after the installer start: one two-second timer wait.
  ASSERT_EQ(w().timer_sets.size(), 1u);
  EXPECT_EQ(w().timer_sets[0].due, -20'000'000);
  EXPECT_TRUE(w().sleeps.empty());
  const auto started = std::find(w().calls.begin(), w().calls.end(), "CreateProcessW(" + fake::utf8(kInstaller) + ")");
  const auto paused = std::find(w().calls.begin(), w().calls.end(), "SetWaitableTimer(-20000000)");
  EXPECT_LT(started, paused);
  // Nothing is read from standard input on success.
  EXPECT_EQ(w().count_calls("NtReadFile"), 0u);
}

TEST_F(DriverTest, SuccessClosesTheDownloadToolButNotTheInstaller) {
  curl_exits(0, true);
  run();
  // The process handles are the first objects each start creates; the
  // download tool's are closed after its wait, the installer's stay open
  // until the process ends.
  std::vector<std::u16string> open_children;
  for (win::HANDLE handle : w().open_handles()) {
    const auto object = w().object_of(handle);
    if (object->child) open_children.push_back(object->child->application);
  }
  EXPECT_THAT(open_children, ElementsAre(kInstaller, kInstaller));
  EXPECT_TRUE(w().inheritable_handles().empty());
  EXPECT_EQ(w().locks_held, 0);
}

TEST_F(DriverTest, DownloadArgumentsAreNineteenInOrder) {
  curl_exits(0, true);
  run();
  ASSERT_FALSE(created().empty());
  // Splitting at single spaces is exact here: no argument has a space.
  std::vector<std::string> words;
  std::string line = fake::utf8(created()[0].command_line);
  for (std::size_t start = 0;;) {
    const std::size_t end = line.find(' ', start);
    words.push_back(line.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  EXPECT_THAT(words, ElementsAre("\"curl\"", "--disable", "-L", "--proto-redir", "=https", "--fail", "--progress-bar",
                                 "--retry", "3", "--retry-delay", "2", "--connect-timeout", "120", "--speed-limit", "1",
                                 "--speed-time", "120", "--retry-connrefused", "-o", fake::utf8(kInstaller), kAddress));
}

// One row per failure of the download tool, and what the user then sees.
struct ToolFailure {
  const char* name;
  std::optional<fake::Program> curl;  // nothing: there is no curl.exe
  std::string err;
};

class DownloadToolFailure : public DriverTest, public ::testing::WithParamInterface<ToolFailure> {};

TEST_P(DownloadToolFailure, ReportsOnStderrPromptsAndExits1) {
  if (GetParam().curl) {
    w().programs[kCurl] = *GetParam().curl;
  } else {
    w().remove_path(kCurl);
  }
  streams_.input->readable = "\r\n";
  const Outcome outcome = run();

  EXPECT_EQ(outcome.exit_code, 1u);
  EXPECT_EQ(outcome.err, GetParam().err);
  EXPECT_EQ(outcome.out, kBanner + kPrompt);
  EXPECT_GE(w().count_calls("NtReadFile"), 1u);
  // The installer is never started, there is no pause, and no handle of a
  // child is left open.
  EXPECT_LE(created().size(), 1u);
  EXPECT_TRUE(w().timer_sets.empty());
  for (win::HANDLE handle : w().open_handles()) EXPECT_FALSE(w().object_of(handle)->child);
}

const std::string kToolHint = "请确保系统为 Windows 10 或更高版本。\n";
const std::string kNetworkHint = "请检查网络连接后重试，或联系客服获取安装包。\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, DownloadToolFailure,
    ::testing::Values(ToolFailure{"NotFound", std::nullopt, "无法运行下载工具：program not found\n" + kToolHint},
                      ToolFailure{"StartRefused", fake::Program{.start_error = 5},
                                  "无法运行下载工具：Access is denied. (os error 5)\n" + kToolHint},
                      ToolFailure{"WaitFails", fake::Program{.wait_error = 6},
                                  "无法运行下载工具：The handle is invalid. (os error 6)\n" + kToolHint},
                      ToolFailure{"ExitCodeUnreadable", fake::Program{.exit_code_error = 5},
                                  "无法运行下载工具：Access is denied. (os error 5)\n" + kToolHint},
                      ToolFailure{"Exit22", fake::Program{.exit_code = 22}, "下载失败（错误码 22）\n" + kNetworkHint},
                      ToolFailure{"Crashed", fake::Program{.exit_code = 0xC0000005},
                                  "下载失败（错误码 -1073741819）\n" + kNetworkHint},
                      ToolFailure{"AllBitsSet", fake::Program{.exit_code = 0xFFFFFFFF},
                                  "下载失败（错误码 -1）\n" + kNetworkHint}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(DriverTest, DownloadToolErrorTextIsWrittenPieceByPiece) {
  w().programs[kCurl] = fake::Program{.start_error = 5};
  run();
  // Unbuffered: each literal part and each piece of the error text is its
  // own write, in order.
  EXPECT_THAT(streams_.error->writes,
              ElementsAre("无法运行下载工具：", "Access is denied.", " (os error ", "5", ")", "\n", kToolHint));
}

TEST_F(DriverTest, InstallerThatCannotStartIsReportedWithItsPath) {
  curl_exits(0, false);
  const Outcome outcome = run();

  EXPECT_EQ(outcome.exit_code, 1u);
  EXPECT_EQ(outcome.out, kBanner + kLaunching + kPrompt);
  EXPECT_EQ(outcome.err,
            "无法启动安装程序：The system cannot find the file specified. (os error 2)\n"
            "安装包已下载到：C:\\Users\\user\\AppData\\Local\\Temp\\vant_installer_latest.exe\n"
            "请手动运行该文件完成安装。\n");
  EXPECT_TRUE(w().timer_sets.empty());
}

TEST_F(DriverTest, InstallerThatIsNotAnExecutable) {
  curl_exits(0, true);
  w().programs[kInstaller] = fake::Program{.start_error = 193};
  const Outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 1u);
  EXPECT_THAT(outcome.err,
              ::testing::StartsWith("无法启动安装程序：%1 is not a valid Win32 application. (os error 193)\n"));
}

TEST_F(DriverTest, TemporaryFolderThatCannotBeHadIsAnInternalFailure) {
  w().on_GetTempPathW = [](win::DWORD, char16_t*) -> win::DWORD {
    fake::world().last_error() = 5;
    return 0;
  };
  const Outcome outcome = run();

  EXPECT_EQ(outcome.fail_fast, 7u);
  EXPECT_FALSE(outcome.exit_code.has_value());
  EXPECT_EQ(outcome.out, kBanner);
  EXPECT_EQ(outcome.err,
            "called `Result::unwrap()` on an `Err` value: Os { code: 5, kind: PermissionDenied, message: \"Access is "
            "denied.\" }\n");
  EXPECT_TRUE(created().empty());
  EXPECT_EQ(w().count_calls("NtReadFile"), 0u);
}

// The first call of the run limits every later library load of the process
// to the system folder; the program without a signer loads no library at
// all.
TEST_F(DriverTest, LibrariesAreSearchedInTheSystemFolderOnlyFromTheFirstCallOn) {
  curl_exits(0, true);
  const Outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  ASSERT_FALSE(w().calls.empty());
  EXPECT_EQ(w().calls.front(), "SetDefaultDllDirectories(0x800)");
  EXPECT_EQ(w().count_calls("SetDefaultDllDirectories"), 1u);
  EXPECT_EQ(w().default_dll_directories, win::LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Nothing but WinHTTP (for the Windows proxy), by its bare name from the
  // system folder.
  ASSERT_EQ(w().loads.size(), 1u);
  EXPECT_EQ(w().loads[0].name, u"winhttp.dll");
  EXPECT_EQ(w().loads[0].flags, win::LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// Windows refuses only flags it does not know; the run then stops before
// its first line, as for any answer that cannot happen.
TEST_F(DriverTest, ALibrarySearchThatCannotBeLimitedIsAnInternalFailure) {
  w().default_dll_directories_error = win::ERROR_INVALID_PARAMETER;
  curl_exits(0, true);
  const Outcome outcome = run();

  EXPECT_EQ(outcome.fail_fast, 7u);
  EXPECT_EQ(outcome.out, "");
  EXPECT_THAT(outcome.err, ::testing::StartsWith("called `Result::unwrap()` on an `Err` value: Os { code: 87, "));
  EXPECT_EQ(w().calls.front(), "SetDefaultDllDirectories(0x800)");
  EXPECT_TRUE(created().empty());
}

// With no temporary folder curl writes the bare name into the current
// folder, and the installer is started from there: never found by a search,
// which would skip the current folder and could start a stale or planted
// copy of that name beside the program or in the system folder.
TEST_F(DriverTest, EmptyTemporaryFolderStartsTheInstallerFromTheCurrentFolder) {
  w().temp_path = u"";
  const std::u16string downloaded = u"C:\\work\\vant_installer_latest.exe";
  fake::Program curl;
  curl.on_start = [&](const fake::CreateProcessCall&) { fake::world().add_file(downloaded); };
  w().programs[kCurl] = curl;
  w().add_file(u"C:\\Program Files\\VANT\\vant_installer_latest.exe");
  w().add_file(u"C:\\Windows\\system32\\vant_installer_latest.exe");
  const Outcome outcome = run();

  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.err, "");
  ASSERT_EQ(created().size(), 2u);
  EXPECT_EQ(created()[0].command_line, curl_command_line(u"vant_installer_latest.exe"));
  EXPECT_EQ(created()[1].application, downloaded);
  EXPECT_EQ(created()[1].command_line, u"\".\\vant_installer_latest.exe\"");
  for (const std::string& call : w().calls) {
    EXPECT_FALSE(call.starts_with("GetFileAttributesW(") && call.find("vant_installer") != std::string::npos) << call;
  }
}

TEST_F(DriverTest, EmptyTemporaryFolderShowsTheBareNameWhenTheStartFails) {
  w().temp_path = u"";
  curl_exits(0, false);
  w().add_file(u"C:\\Program Files\\VANT\\vant_installer_latest.exe");
  const Outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 1u);
  // The file was looked for where curl wrote it, not found, and so not
  // started.
  ASSERT_EQ(w().create_file_calls.size(), 1u);
  EXPECT_EQ(w().create_file_calls[0].path, u"C:\\work\\vant_installer_latest.exe");
  EXPECT_EQ(created().size(), 1u);
  EXPECT_THAT(outcome.err, ::testing::HasSubstr("安装包已下载到：vant_installer_latest.exe\n"));
}

TEST_F(DriverTest, TemporaryFolderWithSpacesReachesCurlAsOneArgument) {
  const std::u16string temp = u"C:\\Users\\张 三\\Temp Files\\";
  w().temp_path = temp;
  w().use_ansi_code_page(936);  // which spells the folder: curl gets the path
  curl_exits(0, false);
  run();
  ASSERT_FALSE(created().empty());
  EXPECT_EQ(created()[0].command_line, curl_command_line(u"\"" + temp + u"vant_installer_latest.exe\""));
}

// A lone surrogate has no form in any code page: curl starts in the folder,
// given as its exact units, and gets the bare file name (curl_folder.h).
TEST_F(DriverTest, LoneSurrogateFolderIsCurlsCurrentFolderAndIsReplacedOnlyInTheMessage) {
  // A folder name with an unpaired high surrogate (Windows allows it).
  std::u16string temp = u"C:\\T";
  temp.push_back(char16_t(0xD800));
  temp += u"\\";
  w().temp_path = temp;
  w().add_directory(temp.substr(0, temp.size() - 1));
  const std::u16string exact = temp + u"vant_installer_latest.exe";
  fake::Program curl;
  curl.on_start = [&](const fake::CreateProcessCall& call) {
    fake::world().add_file(call.current_directory + u"vant_installer_latest.exe");
  };
  w().programs[kCurl] = curl;
  w().programs[exact] = fake::Program{.start_error = win::ERROR_BAD_EXE_FORMAT};
  const Outcome outcome = run();

  ASSERT_EQ(created().size(), 2u);
  EXPECT_EQ(created()[0].command_line, curl_command_line(u"vant_installer_latest.exe"));
  EXPECT_FALSE(created()[0].current_directory_null);
  EXPECT_EQ(created()[0].current_directory, temp);
  // The hold and the start use the exact units the system gave.
  ASSERT_EQ(w().create_file_calls.size(), 1u);
  EXPECT_EQ(w().create_file_calls[0].path, exact);
  EXPECT_EQ(created()[1].application, exact);
  EXPECT_THAT(outcome.err, ::testing::HasSubstr("安装包已下载到：C:\\T\uFFFD\\vant_installer_latest.exe\n"));
}

// What standard input holds at the prompt never changes the exit code.
struct InputCase {
  const char* name;
  std::function<void(fake::FakeWindows&, fake::FakeWindows::StdStreams&)> arrange;
};

class PromptInput : public DriverTest, public ::testing::WithParamInterface<InputCase> {};

TEST_P(PromptInput, EndsWithExitCode1) {
  w().remove_path(kCurl);
  GetParam().arrange(w(), streams_);
  const Outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 1u);
  EXPECT_EQ(outcome.out, kBanner + kPrompt);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, PromptInput,
    ::testing::Values(
        InputCase{"Line", [](fake::FakeWindows&, fake::FakeWindows::StdStreams& s) { s.input->readable = "x\r\n"; }},
        InputCase{"EmptyFile", [](fake::FakeWindows&, fake::FakeWindows::StdStreams&) {}},
        InputCase{"InvalidUtf8",
                  [](fake::FakeWindows&, fake::FakeWindows::StdStreams& s) { s.input->readable = "\xff\xfe\n"; }},
        InputCase{"BrokenPipe",
                  [](fake::FakeWindows&, fake::FakeWindows::StdStreams& s) {
                    s.input->end_status = win::STATUS_PIPE_BROKEN;
                  }},
        InputCase{"NoHandle",
                  [](fake::FakeWindows& w, fake::FakeWindows::StdStreams&) { w.std_input = win::NULL_HANDLE; }}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// Standard input that keeps sending bytes without a line feed: the prompt
// consumes it all without holding it, then ends at end of input.
TEST_F(DriverTest, FloodWithoutALineFeedAtThePromptEndsWithExitCode1) {
  w().remove_path(kCurl);
  streams_.input->flood = std::uint64_t{64} << 20;
  streams_.input->readable = "tail without a line feed";
  const Outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 1u);
  EXPECT_EQ(outcome.out, kBanner + kPrompt);
  EXPECT_EQ(streams_.input->flood, 0u);
  EXPECT_EQ(streams_.input->readable, "");
}

// The prompt ends at the first line feed and reads no further.
TEST_F(DriverTest, PromptEndsAtTheFirstLineFeed) {
  w().remove_path(kCurl);
  streams_.input->flood = 10'000;
  streams_.input->readable = "\nnever read";
  streams_.input->max_read = 1;  // one byte per read: nothing is read ahead
  const Outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 1u);
  EXPECT_EQ(streams_.input->readable, "never read");
}

TEST_F(DriverTest, NoStandardHandlesAtAllStillEndsWithTheDriversCodes) {
  w().std_input = win::NULL_HANDLE;
  w().std_output = win::NULL_HANDLE;
  w().std_error = win::NULL_HANDLE;
  curl_exits(0, true);
  Outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  ASSERT_EQ(created().size(), 2u);
  // With no handle to pass on, the children get the system's defaults.
  EXPECT_EQ(created()[0].startup_flags, 0u);

  vant::testing::reset_process();
  w().temp_path = kTemp;
  w().add_file(kCurl);
  curl_exits(22, false);
  outcome = run();
  EXPECT_EQ(outcome.exit_code, 1u);
}

TEST_F(DriverTest, OnAConsoleTheBannerIsWrittenAsUtf16) {
  auto console = w().use_console(936).console;
  curl_exits(0, true);
  run();
  EXPECT_EQ(fake::utf8(console->screen), kBanner + kLaunching);
  EXPECT_EQ(w().count_calls("NtWriteFile"), 0u);
}

}  // namespace
}  // namespace vant
