// Which curl.exe runs: the program's own folder first, then the system and
// Windows folders (where Wine has none), then PATH entries in order; the
// current folder only through a PATH entry that names it. Each curl copy
// records its own image path, so the test sees which one ran.
#include <string>

#include "expected_output.h"
#include "setup_run.h"

namespace vant_test {
namespace {

using DownloadToolLookup = SetupRun;

TEST_F(DownloadToolLookup, OneBesideTheProgramWinsOverOneOnPath) {
  const std::wstring on_path = folder(L"p1");
  place_curl(on_path);
  env_[L"PATH"] = on_path + L";C:\\windows\\system32";
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 0u);
  EXPECT_EQ(only_record(result.curl, "curl").units("image"), app_ + L"\\curl.exe");
}

// Without PATH the other places are still searched.
TEST_F(DownloadToolLookup, NoPathVariableAtAllIsNoError) {
  env_.erase(L"PATH");
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 0u);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(only_record(result.curl, "curl").units("image"), app_ + L"\\curl.exe");
}

// Entries that are empty, name a missing folder or hold no curl are passed
// over; the first that holds one wins over a later one.
TEST_F(DownloadToolLookup, FirstPathEntryThatHoldsItIsUsed) {
  remove_curl_beside_program();
  const std::wstring empty = folder(L"p1"), first = folder(L"p2"), later = folder(L"p3");
  place_curl(first);
  place_curl(later);
  env_[L"PATH"] = L";" + scratch_ + L"missing;" + empty + L";;" + first + L";" + later;
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 0u);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(only_record(result.curl, "curl").units("image"), first + L"\\curl.exe");
}

// A PATH entry in double quotes may hold a semicolon. A reader that splits
// at every semicolon would look in "<scratch>\a" instead, which holds a
// decoy curl.
TEST_F(DownloadToolLookup, QuotedPathEntryMayHoldASemicolon) {
  remove_curl_beside_program();
  const std::wstring quoted = folder(L"a;b");
  place_curl(quoted);
  place_curl(folder(L"a"));
  env_[L"PATH"] = L"\"" + quoted + L"\";C:\\windows\\system32";
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 0u);
  EXPECT_EQ(only_record(result.curl, "curl").units("image"), quoted + L"\\curl.exe");
}

struct CurrentFolderCase {
  const char* name;
  const wchar_t* path_prefix;  // put in front of the system folders on PATH
  bool found;
};

class CurrentFolder : public SetupRun, public ::testing::WithParamInterface<CurrentFolderCase> {};

// A curl.exe in the current folder is not found for being there (as
// CreateProcessW's own search would find it), only through a PATH entry
// such as "." that resolves to it.
TEST_P(CurrentFolder, IsSearchedOnlyThroughPath) {
  remove_curl_beside_program();
  current_folder_ = folder(L"cwd");
  place_curl(current_folder_);
  env_[L"PATH"] = std::wstring(GetParam().path_prefix) + L"C:\\windows\\system32;C:\\windows";
  const RunResult result = run();

  if (GetParam().found) {
    EXPECT_EQ(result.launch.exit_code, 0u);
    EXPECT_EQ(only_record(result.curl, "curl").units("image"), current_folder_ + L"\\curl.exe");
  } else {
    EXPECT_EQ(result.launch.exit_code, 1u);
    EXPECT_EQ(result.err, expected::cannot_run_tool("program not found"));
    EXPECT_EQ(result.out, expected::kBanner + expected::kPressEnter);
    EXPECT_TRUE(result.curl.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Path, CurrentFolder,
                         ::testing::Values(CurrentFolderCase{"NotOnPath", L"", false},
                                           CurrentFolderCase{"DotOnPath", L".;", true}),
                         CaseName());

// A folder named curl.exe beside the program ends the search (existence is
// all the search asks), and starting it fails with whatever CreateProcessW
// reports (Wine: 6, Windows: 5), so the code is not checked. The curl on
// PATH must not be tried instead.
TEST_F(DownloadToolLookup, FolderNamedCurlExeBesideTheProgramFailsTheStart) {
  remove_curl_beside_program();
  folder(L"app\\curl.exe");
  const std::wstring on_path = folder(L"p1");
  place_curl(on_path);
  env_[L"PATH"] = on_path;
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 1u);
  EXPECT_EQ(result.out, expected::kBanner + expected::kPressEnter);
  const auto lines = lines_of(result.err);
  ASSERT_EQ(lines.size(), 2u) << result.err;
  EXPECT_TRUE(is_os_error_line(lines[0], expected::kCannotRunToolPrefix, ""));
  EXPECT_EQ(lines[1], expected::kNeedsWindows10);
  EXPECT_TRUE(result.curl.empty());
}

}  // namespace
}  // namespace vant_test
