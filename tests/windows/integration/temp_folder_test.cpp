// The temporary folder as Windows reports it (from TMP) decides the
// installer path: it must reach the download tool as one "-o" argument with
// exactly its units, and the installer must start from exactly that path.
// A folder that the ANSI code page cannot spell (Wine's is 1252 under the
// tests' C.UTF-8 locale: no Chinese, nothing outside the BMP) is instead the
// download tool's current folder, given as exactly its units, and the "-o"
// argument is the bare file name (ansi_curl_test.cpp has the reason).
#include <string>

#include "expected_output.h"
#include "setup_run.h"
#include "support/text.h"

namespace vant_test {
namespace {

struct TempCase {
  const char* name;
  const wchar_t* folder;  // inside the scratch folder
  bool in_folder;         // 1252 cannot spell it: curl starts in it
};

std::wstring without_trailing_backslash(std::wstring path) {
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

class TempFolder : public SetupRun, public ::testing::WithParamInterface<TempCase> {};

TEST_P(TempFolder, ReachesTheDownloadToolExactlyAndStartsTheInstallerThere) {
  set_temp(folder(GetParam().folder));
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 0u);
  EXPECT_EQ(result.out, expected::kSuccessOutput);
  EXPECT_EQ(result.err, "");
  const Record& curl = only_record(result.curl, "curl");
  EXPECT_EQ(curl.get("argc"), expected::kCurlArgcText);
  EXPECT_EQ(curl.units(expected::kCurlOutputFlag), L"-o");
  if (GetParam().in_folder) {
    EXPECT_EQ(curl.units("cwd"), without_trailing_backslash(temp_));
    EXPECT_EQ(curl.units(expected::kCurlOutputPath), std::wstring(L"vant_installer_latest.exe"));
  } else {
    EXPECT_EQ(curl.units(expected::kCurlOutputPath), installer_path()) << curl.get(expected::kCurlOutputPath + ".text");
  }
  const Record& installer = only_record(result.installer, "the installer");
  EXPECT_EQ(installer.units("image"), installer_path());
  EXPECT_EQ(installer.units("command_line"), L"\"" + installer_path() + L"\"");
}

INSTANTIATE_TEST_SUITE_P(Names, TempFolder,
                         ::testing::Values(TempCase{"SpacesAndChinese", L"tmp 有 空格\\用户 临时", true},
                                           // U+1D11E and U+1F600: surrogate pairs
                                           TempCase{"OutsideTheBmp", L"tmp \xD834\xDD1E\\\xD83D\xDE00 x", true},
                                           // Characters a command shell would act on; no shell is involved.
                                           TempCase{"ShellCharacters", L"tmp %PATH% ^&(;)!", false}),
                         CaseName());

using TempFolderLimits = SetupRun;

// A lone surrogate is a legal unit of a Windows path but has no form in any
// code page: the download tool is started in the folder, given as its exact
// units, with the bare file name (the host tests show that download and the
// start from there). Wine cannot create a folder with a lone surrogate, so
// here that folder does not exist, and Windows refuses it as a current
// folder (267, on Windows too): the user is told the download tool could
// not be run, and it is never started. The folder with U+FFFD in its place
// exists, and is not used instead.
TEST_F(TempFolderLimits, LoneSurrogateInTheTempFolderIsTheDownloadToolsCurrentFolder) {
  set_temp(scratch_ + L"lone\\t\xD800x");
  folder(L"lone\\t\xFFFDx");
  const RunResult result = run();

  EXPECT_TRUE(result.curl.empty());
  EXPECT_TRUE(result.installer.empty());
  EXPECT_EQ(result.launch.exit_code, 1u);
  EXPECT_EQ(result.out, expected::kBanner + expected::kPressEnter);
  const auto lines = lines_of(result.err);
  ASSERT_EQ(lines.size(), 2u) << result.err;
  EXPECT_TRUE(is_os_error_line(lines[0], expected::kCannotRunToolPrefix, "267"));
  EXPECT_EQ(lines[1], expected::kNeedsWindows10);
}

// The longest TMP that Wine's GetTempPathW accepts (258 units; it adds the
// trailing backslash) puts the installer path at 284 units, past MAX_PATH.
// The download tool must still get it whole. Wine cannot start a program
// from a path of 260 units or more (Windows cannot either without the
// long-path prefix), so the run ends in the start failure, whose code
// differs between the two (Wine: 123 or 2): only its form is checked.
TEST_F(TempFolderLimits, TempFolderOf258UnitsGivesAnInstallerPathPastMaxPath) {
  // Parts of at most 80 units (each part costs one more for its backslash),
  // the last two sharing what is left so that neither is empty.
  std::wstring long_folder = scratch_ + L"long";
  ASSERT_LT(long_folder.size(), 250u);
  wchar_t letter = L'a';
  while (258 - long_folder.size() > 162) long_folder += L"\\" + std::wstring(80, letter++);
  const std::size_t rest = 258 - long_folder.size() - 2;
  long_folder += L"\\" + std::wstring(rest / 2, letter++);
  long_folder += L"\\" + std::wstring(rest - rest / 2, letter);
  ASSERT_EQ(long_folder.size(), 258u);
  set_temp(folder(long_folder.substr(scratch_.size())));
  ASSERT_GT(installer_path().size(), 260u);
  const RunResult result = run();

  const Record& curl = only_record(result.curl, "curl");
  EXPECT_EQ(curl.get("argc"), expected::kCurlArgcText);
  EXPECT_EQ(curl.units(expected::kCurlOutputPath), installer_path());
  EXPECT_EQ(curl.get("payload"), "copied");
  EXPECT_EQ(result.launch.exit_code, 1u);
  const auto lines = lines_of(result.err);
  ASSERT_EQ(lines.size(), 3u) << result.err;
  EXPECT_TRUE(is_os_error_line(lines[0], expected::kCannotStartInstallerPrefix, ""));
  EXPECT_EQ(lines[1], expected::downloaded_to(to_utf8(installer_path())));
  EXPECT_EQ(lines[2], expected::kRunByHand);
  EXPECT_TRUE(result.installer.empty());
}

// One unit more and Wine's GetTempPathW fails (206, file name too long).
// Without a temporary folder there is nothing to download into: the run
// stops at once as an internal failure, with a report on the error stream
// that names the error, no Enter prompt, neither of the exit codes 0 and 1
// (Wine reports the fail-fast end as 0xC0000409), and no download attempt.
TEST_F(TempFolderLimits, TempFolderOf259UnitsIsAnInternalFailure) {
  const std::wstring too_long = scratch_ + std::wstring(259 - scratch_.size(), L'x');
  ASSERT_EQ(too_long.size(), 259u);
  set_temp(too_long);
  const RunResult result = run();

  EXPECT_NE(result.launch.exit_code, 0u);
  EXPECT_NE(result.launch.exit_code, 1u);
  // The banner lines were each written out while printed; nothing follows.
  EXPECT_EQ(result.out, expected::kBanner);
  EXPECT_NE(result.err.find("called `Result::unwrap()` on an `Err` value"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("Os { code: 206, kind: InvalidFilename, message: \""), std::string::npos) << result.err;
  EXPECT_TRUE(result.curl.empty());
}

}  // namespace
}  // namespace vant_test
