// The program without an installer signer, run beside planted copies of
// wintrust.dll, crypt32.dll and version.dll (see planted_libraries.h):
// it runs as before and loads none of them.
#include <windows.h>

#include "expected_output.h"
#include "planted_libraries.h"

namespace vant_test {
namespace {

TEST_F(PlantedLibraries, TheProgramRunsAsBeforeAndLoadsNone) {
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 0u) << result.err;
  EXPECT_EQ(result.out, expected::kSuccessOutput);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(only_record(result.curl, "curl").units("image"), folder(L"tools") + L"\\curl.exe");
  EXPECT_EQ(result.installer.size(), 1u);
  EXPECT_EQ(loaded_stand_ins(), std::vector<std::string>{});
}

// The test can fail: each stand-in leaves its marker when a process loads
// it, here this test program by its full path.
TEST_F(PlantedLibraries, EachStandInLeavesAMarkerWhenLoaded) {
  std::vector<std::string> expected;
  for (const wchar_t* name : kNames) {
    const HMODULE library = LoadLibraryW((app_ + L"\\" + name).c_str());
    ASSERT_NE(library, nullptr) << to_utf8(name) << ": " << GetLastError();
    FreeLibrary(library);
    wchar_t self[1024];
    const DWORD length = GetModuleFileNameW(nullptr, self, 1024);
    expected.push_back(to_utf8(name) + " loaded by " + to_utf8(std::wstring_view(self, length)));
  }
  EXPECT_EQ(loaded_stand_ins(), expected);
}

}  // namespace
}  // namespace vant_test
