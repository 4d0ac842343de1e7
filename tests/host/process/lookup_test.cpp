#include "process/lookup.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fake_windows.h"
#include "paths/path_text.h"
#include "process/spawn.h"
#include "support/seam_test.h"

namespace vant {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::SeamTest;

constexpr std::u16string_view kOwnFolder = u"C:\\Program Files\\VANT";

TEST(SplitSearchPath, QuotesGroupAndAreDropped) {
  struct Case {
    const char* name;
    std::u16string value;
    std::vector<std::u16string> entries;
  };
  const Case cases[] = {
      {"example", u"C:\\a;\"C:\\b;c\";;C:\\d", {u"C:\\a", u"C:\\b;c", u"", u"C:\\d"}},
      {"empty value", u"", {u""}},
      {"trailing semicolon", u"C:\\a;", {u"C:\\a", u""}},
      {"not trimmed or expanded", u" C:\\a ;%SystemRoot%", {u" C:\\a ", u"%SystemRoot%"}},
      {"quote in the middle", u"C:\\Pro\"gram;Fi\"les", {u"C:\\Program;Files"}},
      {"unclosed quote runs to the end", u"\"C:\\a;C:\\b", {u"C:\\a;C:\\b"}},
      {"lone surrogate kept", std::u16string{u'C', 0xD800, u';', u'x'}, {std::u16string{u'C', 0xD800}, u"x"}},
  };
  for (const Case& c : cases) EXPECT_EQ(split_search_path(c.value), c.entries) << c.name;
}

class LookupTest : public SeamTest {
 protected:
  // Arguments of every GetFileAttributesW call, in order.
  static std::vector<std::string> attribute_queries() {
    std::vector<std::string> queries;
    const std::string prefix = "GetFileAttributesW(";
    for (const std::string& call : w().calls) {
      if (call.starts_with(prefix)) queries.push_back(call.substr(prefix.size(), call.size() - prefix.size() - 1));
    }
    return queries;
  }
};

// Where a copy of curl.exe lies on disk, for the search-order table.
enum Place : unsigned {
  kSystem32 = 1,  // C:\Windows\System32: the 64-bit system folder
  kSysWow64 = 2,  // C:\Windows\SysWOW64: the 32-bit system folder
  kOwn = 4,       // beside the program
  kWindows = 8,   // the Windows folder
  kPath = 16,     // the one PATH entry
};
constexpr unsigned kEverywhere = kSystem32 | kSysWow64 | kOwn | kWindows | kPath;
constexpr ProgramSearch kAdministrators = ProgramSearch::AdministratorFolders;

// What the search hands to CreateProcessW.
constexpr std::u16string_view kThroughSysnative = u"C:\\Windows\\Sysnative\\curl.exe";
constexpr std::u16string_view kThroughSystem32 = u"C:\\Windows\\system32\\curl.exe";
constexpr std::u16string_view kBesideProgram = u"C:\\Program Files\\VANT\\curl.exe";
constexpr std::u16string_view kInWindows = u"C:\\Windows\\curl.exe";
constexpr std::u16string_view kOnPath = u"C:\\Tools\\curl.exe";

struct OrderCase {
  const char* name;
  bool wow64;       // the 32-bit exe on 64-bit Windows
  unsigned places;  // where curl.exe lies
  // The application name given to CreateProcessW, and the file that runs;
  // neither when the search finds nothing.
  std::u16string_view application;
  std::optional<Place> runs;
  ProgramSearch search = ProgramSearch::Everywhere;
};

class SearchOrder : public LookupTest, public ::testing::WithParamInterface<OrderCase> {};

// The system's curl beats one beside the program (which a web page may have
// dropped into the Downloads folder), which beats the Windows folder, which
// beats PATH. Both processes are given C:\Windows\system32 as the system
// folder, but a 32-bit one's accesses there are redirected to SysWOW64, so
// it first looks in the 64-bit System32 through the alias Sysnative.
TEST_P(SearchOrder, FirstPlaceThatHoldsItRuns) {
  const OrderCase& c = GetParam();
  const std::map<Place, std::u16string> files = {{kSystem32, u"C:\\Windows\\System32\\curl.exe"},
                                                 {kSysWow64, u"C:\\Windows\\SysWOW64\\curl.exe"},
                                                 {kOwn, std::u16string(kBesideProgram)},
                                                 {kWindows, std::u16string(kInWindows)},
                                                 {kPath, std::u16string(kOnPath)}};
  w().wow64 = c.wow64;
  w().add_directory(u"C:\\Windows\\SysWOW64");
  w().environment[u"PATH"] = u"C:\\Tools";
  for (const auto& [place, file] : files) {
    if (c.places & place) w().add_file(file);
  }

  const auto child = spawn_process(ProcessCommand("curl").search(c.search));
  if (!c.runs) {
    EXPECT_EQ(child.error(), errors::program_not_found);
    EXPECT_THAT(w().created, IsEmpty());
    return;
  }
  ASSERT_TRUE(child.has_value()) << child.error().display_text();
  ASSERT_EQ(w().created.size(), 1u);
  EXPECT_EQ(fake::utf8(w().created[0].application), fake::utf8(c.application));
  EXPECT_EQ(fake::utf8(w().created[0].image_file), fake::utf8(files.at(*c.runs)));
}

INSTANTIATE_TEST_SUITE_P(
    Places, SearchOrder,
    ::testing::Values(
        // The 64-bit exe: its system folder is the real System32.
        OrderCase{"SystemFolderBeatsAll", false, kEverywhere, kThroughSystem32, kSystem32},
        OrderCase{"OwnFolderWhenTheSystemHasNone", false, kOwn | kWindows | kPath, kBesideProgram, kOwn},
        OrderCase{"SysWow64IsNeverSearched", false, kSysWow64 | kWindows, kInWindows, kWindows},
        OrderCase{"WindowsFolderBeatsPath", false, kWindows | kPath, kInWindows, kWindows},
        OrderCase{"PathLast", false, kPath, kOnPath, kPath},
        OrderCase{"OnlySysWow64IsNotFound", false, kSysWow64, {}, std::nullopt},
        // The 32-bit exe on 64-bit Windows.
        OrderCase{"Wow64NativeBeatsAll", true, kEverywhere, kThroughSysnative, kSystem32},
        OrderCase{"Wow64NativeOnly", true, kSystem32 | kPath, kThroughSysnative, kSystem32},
        OrderCase{"Wow64SystemFolderReachesSysWow64", true, kSysWow64 | kOwn, kThroughSystem32, kSysWow64},
        OrderCase{"Wow64ThenOwnFolder", true, kOwn | kWindows, kBesideProgram, kOwn},
        OrderCase{"Wow64PathLast", true, kPath, kOnPath, kPath},
        OrderCase{"Wow64NowhereIsNotFound", true, 0, {}, std::nullopt},
        // Elevated: only where only administrators can write. This
        // program's folder (Downloads) and PATH (the user's environment)
        // are the user's.
        OrderCase{"ElevatedSystemFolder", false, kEverywhere, kThroughSystem32, kSystem32, kAdministrators},
        OrderCase{"ElevatedWindowsFolder", false, kOwn | kWindows | kPath, kInWindows, kWindows, kAdministrators},
        OrderCase{"ElevatedNeverBesideTheProgramOrOnPath", false, kOwn | kPath, {}, std::nullopt, kAdministrators},
        OrderCase{"ElevatedWow64Native", true, kSystem32 | kOwn, kThroughSysnative, kSystem32, kAdministrators},
        OrderCase{"ElevatedWow64SystemFolder", true, kSysWow64 | kOwn | kPath, kThroughSystem32, kSysWow64,
                  kAdministrators},
        OrderCase{"ElevatedWow64NeverBesideTheProgram", true, kOwn | kPath, {}, std::nullopt, kAdministrators}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(LookupTest, SearchStopsAtTheFirstHitAndAsksForLaterFoldersOnlyWhenReached) {
  w().add_file(u"C:\\Windows\\system32\\curl.exe");
  EXPECT_EQ(resolve_program("curl"), u"C:\\Windows\\system32\\curl.exe");
  EXPECT_EQ(w().count_calls("GetModuleFileNameW"), 0u);
  EXPECT_EQ(w().count_calls("GetEnvironmentVariableW"), 0u);

  w().remove_path(u"C:\\Windows\\system32\\curl.exe");
  w().environment[u"PATH"] = u"C:\\Tools";
  w().add_file(u"C:\\Tools\\curl.exe");
  w().calls.clear();
  EXPECT_EQ(resolve_program("curl"), u"C:\\Tools\\curl.exe");
  EXPECT_THAT(attribute_queries(), ElementsAre("C:\\Windows\\system32\\curl.exe", "C:\\Program Files\\VANT\\curl.exe",
                                               "C:\\Windows\\curl.exe", "C:\\Tools\\curl.exe"));
}

TEST_F(LookupTest, Wow64SearchesTheNativeSystemFolderThroughItsAliasFirst) {
  w().wow64 = true;
  w().environment[u"PATH"] = u"C:\\Tools";
  EXPECT_EQ(resolve_program("curl"), std::unexpected(errors::program_not_found));
  EXPECT_EQ(w().count_calls("GetSystemDirectoryW"), 1u);
  EXPECT_THAT(attribute_queries(),
              ElementsAre("C:\\Windows\\Sysnative\\curl.exe", "C:\\Windows\\system32\\curl.exe",
                          "C:\\Program Files\\VANT\\curl.exe", "C:\\Windows\\curl.exe", "C:\\Tools\\curl.exe"));
}

// Not knowing whether it runs under WoW64, the search goes on as a native
// process's would, and so misses a curl that only the 64-bit System32 has:
// its system folder reaches SysWOW64.
TEST_F(LookupTest, FailedWow64QuerySkipsTheNativeFolder) {
  w().wow64 = true;
  w().wow64_error = win::ERROR_ACCESS_DENIED;
  w().add_file(u"C:\\Windows\\System32\\curl.exe");
  w().add_file(u"C:\\Program Files\\VANT\\curl.exe");
  EXPECT_EQ(resolve_program("curl"), u"C:\\Program Files\\VANT\\curl.exe");
  EXPECT_EQ(w().count_calls("IsWow64Process"), 1u);
  EXPECT_THAT(attribute_queries(), ElementsAre("C:\\Windows\\system32\\curl.exe", "C:\\Program Files\\VANT\\curl.exe"));
}

TEST_F(LookupTest, ElevatedSearchNeverAsksForThisProgramsFolderOrPath) {
  w().environment[u"PATH"] = u"C:\\Tools";
  EXPECT_EQ(resolve_program("curl", ProgramSearch::AdministratorFolders), std::unexpected(errors::program_not_found));
  EXPECT_EQ(w().count_calls("GetModuleFileNameW"), 0u);
  EXPECT_EQ(w().count_calls("GetEnvironmentVariableW"), 0u);
  EXPECT_THAT(attribute_queries(), ElementsAre("C:\\Windows\\system32\\curl.exe", "C:\\Windows\\curl.exe"));
}

TEST_F(LookupTest, EmptyAndMissingPathEntriesArePassedOver) {
  w().environment[u"PATH"] = u";C:\\Missing;;C:\\Tools;C:\\Later";
  w().add_directory(u"C:\\Tools");
  w().add_file(u"C:\\Tools\\curl.exe");
  w().add_file(u"C:\\Later\\curl.exe");
  EXPECT_EQ(resolve_program("curl"), u"C:\\Tools\\curl.exe");
  EXPECT_THAT(attribute_queries(),
              ElementsAre("C:\\Windows\\system32\\curl.exe", "C:\\Program Files\\VANT\\curl.exe",
                          "C:\\Windows\\curl.exe", "C:\\Missing\\curl.exe", "C:\\Tools\\curl.exe"));
}

TEST_F(LookupTest, QuotedPathEntryWithSemicolonIsOneFolder) {
  w().environment[u"PATH"] = u"\"C:\\a;b\"";
  w().add_file(u"C:\\a;b\\curl.exe");
  EXPECT_EQ(resolve_program("curl"), u"C:\\a;b\\curl.exe");
}

TEST_F(LookupTest, AFolderNamedLikeTheProgramIsChosen) {
  w().add_directory(u"C:\\Program Files\\VANT\\curl.exe");
  w().add_file(u"C:\\Windows\\curl.exe");
  EXPECT_EQ(resolve_program("curl"), u"C:\\Program Files\\VANT\\curl.exe");
}

TEST_F(LookupTest, NotFoundAnywhere) {
  const auto result = resolve_program("curl");
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), errors::program_not_found);
  EXPECT_EQ(result.error().kind(), SystemErrorKind::NotFound);
  EXPECT_EQ(result.error().display_text(), "program not found");
}

TEST_F(LookupTest, ExeIsAppendedInLowerCaseOnlyToANameWithoutADot) {
  struct Case {
    const char* program;
    const char* first_query;
  };
  const Case cases[] = {
      {"curl", "C:\\Windows\\system32\\curl.exe"},     {"CURL", "C:\\Windows\\system32\\CURL.exe"},
      {"curl.exe", "C:\\Windows\\system32\\curl.exe"}, {"Curl.EXE", "C:\\Windows\\system32\\Curl.EXE"},
      {"tool.run", "C:\\Windows\\system32\\tool.run"}, {"a.b.c", "C:\\Windows\\system32\\a.b.c"},
      {".hidden", "C:\\Windows\\system32\\.hidden"},
  };
  for (const Case& c : cases) {
    testing::reset_process();
    EXPECT_EQ(resolve_program(c.program), std::unexpected(errors::program_not_found)) << c.program;
    const auto queries = attribute_queries();
    ASSERT_FALSE(queries.empty()) << c.program;
    EXPECT_EQ(queries.front(), c.first_query) << c.program;
    EXPECT_EQ(queries.size(), 5u) << c.program << ": three folders and the two PATH entries";
  }
}

TEST_F(LookupTest, ExactPathEndingInExeIsTakenWithoutExistenceTest) {
  for (const char* program : {"C:\\Missing\\Setup.EXE", "C:\\Missing\\setup.exe", "D:/dl/x.Exe"}) {
    testing::reset_process();
    EXPECT_EQ(resolve_program(program), fake::u16(program));
    EXPECT_THAT(attribute_queries(), IsEmpty()) << program;
  }
}

TEST_F(LookupTest, ExactPathWithoutExeTriesExeFirst) {
  w().add_directory(u"C:\\Tools");
  w().add_file(u"C:\\Tools\\setup.exe");
  w().add_file(u"C:\\Tools\\setup");
  EXPECT_EQ(resolve_program("C:\\Tools\\setup"), u"C:\\Tools\\setup.exe");

  w().remove_path(u"C:\\Tools\\setup.exe");
  EXPECT_EQ(resolve_program("C:\\Tools\\setup"), u"C:\\Tools\\setup");
  // Used unchanged even when nothing of that name exists; the start fails later.
  EXPECT_EQ(resolve_program("C:\\Tools\\tool.run"), u"C:\\Tools\\tool.run");
  EXPECT_THAT(attribute_queries(),
              ElementsAre("C:\\Tools\\setup.exe", "C:\\Tools\\setup.exe", "C:\\Tools\\tool.run.exe"));
}

TEST_F(LookupTest, RelativePathIsMadeAbsoluteNotSearched) {
  w().add_file(u"C:\\Program Files\\VANT\\bin\\tool.exe");
  EXPECT_EQ(resolve_program("bin\\tool.exe"), u"C:\\work\\bin\\tool.exe");
  EXPECT_EQ(resolve_program("./tool"), u"C:\\work\\tool");
}

TEST_F(LookupTest, NoFileNameBeforeAnyCall) {
  for (const char* program : {"", "C:\\Tools\\", "C:/Tools/", "tools/", "\\", "\\\\?\\C:\\Tools\\"}) {
    testing::reset_process();
    const auto result = resolve_program(program);
    EXPECT_EQ(result, std::unexpected(errors::no_file_name)) << program;
    EXPECT_THAT(w().calls, IsEmpty()) << program;
  }
  EXPECT_EQ(errors::no_file_name.display_text(), "program path has no file name");
  EXPECT_EQ(errors::no_file_name.kind(), SystemErrorKind::InvalidInput);
}

TEST_F(LookupTest, InAVerbatimPathASlashIsPartOfTheName) {
  const auto result = resolve_program("\\\\?\\C:\\Tools\\a/");
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(*result, u"\\\\?\\C:\\Tools\\a/");
}

TEST_F(LookupTest, NulCharacters) {
  using namespace std::string_view_literals;
  EXPECT_EQ(resolve_program("cu\0rl"sv), std::unexpected(errors::nul_in_data));
  EXPECT_THAT(w().calls, IsEmpty());
  EXPECT_EQ(resolve_program("C:\\cu\0rl.exe"sv), std::unexpected(errors::nul_in_wide_text));
  EXPECT_EQ(resolve_program("C:\\cu\0rl"sv), std::unexpected(errors::nul_in_wide_text));
  EXPECT_EQ(errors::nul_in_data.display_text(), "nul byte found in provided data");
}

TEST_F(LookupTest, GetFullPathNameWFailureOfAnExactPathIsItsCode) {
  w().on_GetFullPathNameW = [](const char16_t*, win::DWORD, char16_t*) {
    win::SetLastError(win::ERROR_INVALID_PARAMETER);
    return win::DWORD{0};
  };
  EXPECT_EQ(resolve_program("rel\\setup.exe"), std::unexpected(SystemError::from_code(87)));
}

TEST_F(LookupTest, FoldersThatCannotBeHadAreSkipped) {
  w().on_GetModuleFileNameW = [](char16_t*, win::DWORD) {
    win::SetLastError(win::ERROR_NOT_ENOUGH_MEMORY);
    return win::DWORD{0};
  };
  w().on_GetSystemDirectoryW = [](char16_t*, win::UINT) {
    win::SetLastError(win::ERROR_ACCESS_DENIED);
    return win::UINT{0};
  };
  w().add_file(u"C:\\Windows\\curl.exe");
  EXPECT_EQ(resolve_program("curl"), u"C:\\Windows\\curl.exe");
  EXPECT_THAT(attribute_queries(), ElementsAre("C:\\Windows\\curl.exe"));

  w().on_GetWindowsDirectoryW = [](char16_t*, win::UINT) {
    win::SetLastError(win::ERROR_ACCESS_DENIED);
    return win::UINT{0};
  };
  w().environment.erase(u"PATH");
  EXPECT_EQ(resolve_program("curl"), std::unexpected(errors::program_not_found));
  EXPECT_EQ(attribute_queries().size(), 1u);
}

TEST_F(LookupTest, AProgramPathWithoutAFolderGivesNoFolder) {
  w().module_file_name = u"vant-setup.exe";
  w().add_file(u"C:\\work\\curl.exe");
  EXPECT_EQ(resolve_program("curl"), std::unexpected(errors::program_not_found));
  EXPECT_THAT(attribute_queries(), ElementsAre("C:\\Windows\\system32\\curl.exe", "C:\\Windows\\curl.exe",
                                               "C:\\Windows\\system32\\curl.exe", "C:\\Windows\\curl.exe"));
}

TEST_F(LookupTest, ProgramAtADriveRootSearchesThatRoot) {
  w().module_file_name = u"D:\\vant-setup.exe";
  w().add_file(u"D:\\curl.exe");
  EXPECT_EQ(resolve_program("curl"), u"D:\\curl.exe");
}

TEST_F(LookupTest, LongProgramPathIsReadThroughTheGrowingBuffer) {
  // GetModuleFileNameW truncates and reports ERROR_INSUFFICIENT_BUFFER.
  const std::u16string folder = u"C:\\" + std::u16string(600, u'v');
  w().module_file_name = folder + u"\\vant-setup.exe";
  w().add_file(folder + u"\\curl.exe");
  EXPECT_EQ(resolve_program("curl"), u"\\\\?\\" + folder + u"\\curl.exe");
  EXPECT_EQ(w().count_calls("GetModuleFileNameW(512)"), 1u);
  EXPECT_EQ(w().count_calls("GetModuleFileNameW(1024)"), 1u);
}

// A candidate of 248 units or more with its terminator is tested in the
// long-path form; one unit less is tested as it is.
TEST_F(LookupTest, LongCandidateIsTestedInTheLongPathFormFrom248Units) {
  struct Case {
    std::size_t units_with_nul;
    bool prefixed;
  };
  for (const Case c : {Case{247, false}, Case{248, true}, Case{249, true}}) {
    testing::reset_process();
    // C:\ + folder name + \curl.exe + NUL
    const std::u16string folder = u"C:\\" + std::u16string(c.units_with_nul - 3 - 9 - 1, u'p');
    const std::u16string candidate = folder + u"\\curl.exe";
    ASSERT_EQ(candidate.size() + 1, c.units_with_nul);
    w().environment[u"PATH"] = folder;
    w().add_file(candidate);
    const std::u16string expected = c.prefixed ? u"\\\\?\\" + candidate : candidate;
    EXPECT_EQ(resolve_program("curl"), expected) << c.units_with_nul;
    EXPECT_EQ(attribute_queries().back(), fake::utf8(expected)) << c.units_with_nul;
  }
}

// Windows reads '/' in a PATH entry as '\\'.
TEST_F(LookupTest, PathEntryWithForwardSlashesIsSearched) {
  w().environment[u"PATH"] = u"C:/Tools/bin";
  w().add_file(u"C:\\Tools\\bin\\curl.exe");
  EXPECT_EQ(resolve_program("curl"), u"C:/Tools/bin\\curl.exe");
}

TEST_F(LookupTest, NothingIsCachedBetweenCalls) {
  w().environment[u"PATH"] = u"C:\\One";
  w().add_file(u"C:\\One\\tool.exe");
  w().add_file(u"C:\\Two\\tool.exe");
  EXPECT_EQ(resolve_program("tool"), u"C:\\One\\tool.exe");
  w().environment[u"PATH"] = u"C:\\Two";
  w().system_directory = u"C:\\Sys2";
  EXPECT_EQ(resolve_program("tool"), u"C:\\Two\\tool.exe");
  EXPECT_EQ(w().count_calls("GetEnvironmentVariableW"), 2u);
  EXPECT_EQ(w().count_calls("GetSystemDirectoryW"), 2u);
  EXPECT_EQ(w().count_calls("GetModuleFileNameW"), 2u);
  EXPECT_THAT(attribute_queries(), ::testing::Contains("C:\\Sys2\\tool.exe"));
}

TEST_F(LookupTest, CurrentFolderIsSearchedOnlyWhenPathNamesIt) {
  w().add_file(u"C:\\work\\curl.exe");
  EXPECT_EQ(resolve_program("curl"), std::unexpected(errors::program_not_found));
  for (const std::string& query : attribute_queries()) EXPECT_NE(query, "C:\\work\\curl.exe");

  w().environment[u"PATH"] = u"C:\\Windows;.";
  EXPECT_EQ(resolve_program("curl"), u"C:\\work\\curl.exe");
}

TEST_F(LookupTest, NonAsciiNamesAndFolders) {
  const std::u16string folder = std::u16string(u"C:\\用户\\") + char16_t(0xD800);
  w().environment[u"PATH"] = folder;
  w().add_file(folder + u"\\下载\U0001F600.exe");
  EXPECT_EQ(resolve_program("下载\U0001F600"), folder + u"\\下载\U0001F600.exe");
}

TEST_F(LookupTest, ProgramExistsNeverFails) {
  w().add_file(u"C:\\Tools\\a.exe");
  EXPECT_EQ(program_exists("C:\\Tools\\a.exe"), u"C:\\Tools\\a.exe");
  EXPECT_EQ(program_exists("C:\\Tools\\b.exe"), std::nullopt);
  EXPECT_EQ(program_exists(std::string_view("C:\\a\0.exe", 9)), std::nullopt);
  w().on_GetFullPathNameW = [](const char16_t*, win::DWORD, char16_t*) {
    win::SetLastError(win::ERROR_INVALID_PARAMETER);
    return win::DWORD{0};
  };
  EXPECT_EQ(program_exists("relative.exe"), std::nullopt);
}

}  // namespace
}  // namespace vant
