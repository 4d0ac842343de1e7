// A curl built without Unicode support, in download folders the ANSI code
// page spells and in ones it cannot (src/setup/curl_folder.h has the rule).
//
// Wine's ANSI code page follows the Unix locale. The tests run under
// LC_ALL=C.UTF-8 (cmake/wine-run.sh), where GetACP() gives 1252 (measured
// with Wine 8): Latin-1 letters but no Chinese, nothing outside the BMP.
// The runs use the linked token (SetupRun's default): unelevated, as a
// standard user's.
#include <windows.h>

#include <string>

#include "expected_output.h"
#include "setup_run.h"
#include "support/text.h"

namespace vant_test {
namespace {

std::wstring without_trailing_backslash(std::wstring path) {
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

struct AnsiCase {
  const char* name;
  const wchar_t* folder;  // inside the scratch folder
  bool in_folder;         // 1252 cannot spell it: curl starts in it
};

class AnsiCurl : public SetupRun, public ::testing::WithParamInterface<AnsiCase> {
 protected:
  void SetUp() override {
    SetupRun::SetUp();
    ASSERT_TRUE(CopyFileW(helper(L"vant_stand_in_ansi_curl.exe").c_str(), (app_ + L"\\curl.exe").c_str(), FALSE))
        << GetLastError();
    current_folder_ = folder(L"cwd");
  }
};

TEST_P(AnsiCurl, DownloadsIntoTheFolderWhateverItsName) {
  ASSERT_TRUE(limited_token_);
  set_temp(folder(GetParam().folder));
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 0u) << result.err;
  EXPECT_EQ(result.out, expected::kSuccessOutput);
  EXPECT_EQ(result.err, "");
  const Record& curl = only_record(result.curl, "curl");
  EXPECT_EQ(curl.get("ansi.acp"), "1252");
  EXPECT_EQ(curl.get("output"), "written");
  EXPECT_EQ(curl.get("argc"), expected::kCurlArgcText);
  EXPECT_EQ(curl.get("ansi.argc"), expected::kCurlArgcText);
  EXPECT_EQ(curl.units(expected::kCurlOutputFlag), L"-o");
  if (GetParam().in_folder) {
    EXPECT_EQ(curl.units("cwd"), without_trailing_backslash(temp_));
    EXPECT_EQ(curl.units(expected::kCurlOutputPath), std::wstring(L"vant_installer_latest.exe"));
    EXPECT_EQ(curl.get("ansi." + expected::kCurlOutputPath), hex_bytes(expected::kInstallerName));
  } else {
    EXPECT_EQ(curl.units("cwd"), current_folder_);
    EXPECT_EQ(curl.units(expected::kCurlOutputPath), installer_path());
  }
  // The installer is what curl wrote, started from its full path.
  const Record& installer = only_record(result.installer, "the installer");
  EXPECT_EQ(installer.units("image"), installer_path());
  EXPECT_EQ(installer.units("command_line"), L"\"" + installer_path() + L"\"");
}

INSTANTIATE_TEST_SUITE_P(Names, AnsiCurl,
                         ::testing::Values(AnsiCase{"AsciiWithSpaces", L"tmp a b\\user temp", false},
                                           AnsiCase{"Latin1", L"tmp café\\Zoë", false},
                                           AnsiCase{"SpacesAndChinese", L"tmp 有 空格\\用户 临时", true},
                                           // U+1D11E and U+1F600: surrogate pairs
                                           AnsiCase{"OutsideTheBmp", L"tmp \xD834\xDD1E\\\xD83D\xDE00 x", true}),
                         CaseName());

}  // namespace
}  // namespace vant_test
