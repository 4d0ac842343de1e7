// Which curl.exe runs when the system has one: the system's, before a copy
// beside the program (where a web page may have dropped one into the
// Downloads folder). A 32-bit exe on 64-bit Windows is given System32 as
// its system folder too, but its accesses there are redirected to SysWOW64;
// it must still find a curl that only the 64-bit System32 holds, through
// the Sysnative alias.
//
// These tests write into the prefix's system folders, so they run in a
// prefix of their own, one at a time, and remove what they put there.
#include <windows.h>

#include <cwctype>
#include <string>

#include "expected_output.h"
#include "setup_run.h"
#include "support/text.h"

namespace vant_test {
namespace {

bool this_process_is_wow64() {
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

// The real 64-bit System32 and SysWOW64, as this test program reaches them:
// a 32-bit program's "system32" is redirected to SysWOW64.
std::wstring native_system32() {
  return this_process_is_wow64() ? L"C:\\windows\\sysnative" : L"C:\\windows\\system32";
}
const std::wstring kSysWow64 = L"C:\\windows\\syswow64";

std::wstring lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

class SystemFolderLookup : public SetupRun {
 protected:
  void SetUp() override {
    SetupRun::SetUp();
    remove_system_copies();
    // Wine runs a file in its system folders as its own built-in program
    // unless told to load the file itself.
    env_[L"WINEDLLOVERRIDES"] = L"curl=n";
  }
  void TearDown() override { remove_system_copies(); }

  static void remove_system_copies() {
    DeleteFileW((native_system32() + L"\\curl.exe").c_str());
    DeleteFileW((kSysWow64 + L"\\curl.exe").c_str());
  }

  // The tests and vant-setup.exe are built for the same architecture.
  static bool exe_is_32_bit() { return sizeof(void*) == 4; }

  // Which copy ran, by the folder of the image the stand-in reported.
  static std::wstring folder_that_ran(const RunResult& result) {
    const std::wstring image = only_record(result.curl, "curl").units("image").value_or(L"");
    return lower(image.substr(0, image.rfind(L'\\')));
  }
};

TEST_F(SystemFolderLookup, TheSystemsCurlBeatsOneBesideTheProgram) {
  place_curl(native_system32());
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 0u) << result.err;
  EXPECT_EQ(result.out, expected::kSuccessOutput);
  const std::wstring ran = folder_that_ran(result);
  EXPECT_NE(ran, lower(app_));
  EXPECT_TRUE(ran == L"c:\\windows\\system32" || ran == L"c:\\windows\\sysnative") << to_utf8(ran);
}

// A 64-bit System32 copy and nothing beside the program or on PATH: the
// 32-bit exe finds it through Sysnative, the 64-bit exe directly.
TEST_F(SystemFolderLookup, CurlOnlyInTheNativeSystemFolderIsFound) {
  remove_curl_beside_program();
  env_[L"PATH"] = folder(L"empty");
  place_curl(native_system32());
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 0u) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(only_record(result.curl, "curl").get("argc"), expected::kCurlArgcText);
}

// The 32-bit exe's system folder reaches SysWOW64; the 64-bit exe never
// searches it.
TEST_F(SystemFolderLookup, CurlOnlyInSysWow64IsFoundByThe32BitExeOnly) {
  remove_curl_beside_program();
  env_[L"PATH"] = folder(L"empty");
  place_curl(kSysWow64);
  const RunResult result = run();

  if (exe_is_32_bit()) {
    EXPECT_EQ(result.launch.exit_code, 0u) << result.err;
    EXPECT_EQ(folder_that_ran(result), L"c:\\windows\\syswow64");
  } else {
    EXPECT_EQ(result.launch.exit_code, 1u);
    EXPECT_EQ(result.err, expected::cannot_run_tool("program not found"));
    EXPECT_TRUE(result.curl.empty());
  }
}

}  // namespace
}  // namespace vant_test
