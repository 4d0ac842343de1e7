#include "paths/path_text.h"

#include <gtest/gtest.h>

#include <string>

#include "paths/explicit_folder.h"
#include "paths/join_path.h"
#include "platform/unicode.h"
#include "support/bytes.h"

namespace vant {
namespace {

using testing::bytes;

TEST(PathFromWide, EncodesBoundaryUnitsAndLoneSurrogates) {
  struct Case {
    const char* name;
    std::u16string units;
    std::string wtf8;
  };
  const Case cases[] = {
      {"U+007F", {0x7F}, bytes({0x7F})},
      {"U+0080", {0x80}, bytes({0xC2, 0x80})},
      {"U+07FF", {0x7FF}, bytes({0xDF, 0xBF})},
      {"U+0800", {0x800}, bytes({0xE0, 0xA0, 0x80})},
      {"U+FFFF", {0xFFFF}, bytes({0xEF, 0xBF, 0xBF})},
      {"U+10000", {0xD800, 0xDC00}, bytes({0xF0, 0x90, 0x80, 0x80})},
      {"U+10FFFF", {0xDBFF, 0xDFFF}, bytes({0xF4, 0x8F, 0xBF, 0xBF})},
      {"lone low", {0xDC00}, bytes({0xED, 0xB0, 0x80})},
      {"high at end", {u'a', 0xDBFF}, bytes({0x61, 0xED, 0xAF, 0xBF})},
      {"high before non-low", {0xD800, u'\\'}, bytes({0xED, 0xA0, 0x80, 0x5C})},
      {"high before high and low", {0xD800, 0xD800, 0xDC00}, bytes({0xED, 0xA0, 0x80, 0xF0, 0x90, 0x80, 0x80})},
  };
  for (const Case& c : cases) EXPECT_EQ(path_from_wide(c.units).bytes(), c.wtf8) << c.name;
}

TEST(PathDisplayText, ReplacesOnlyLoneSurrogatesAndKeepsTheLength) {
  struct Case {
    const char* name;
    std::u16string units;
    std::string display;
  };
  const Case cases[] = {
      {"ASCII", u"C:\\Users\\user\\Temp\\vant_installer_latest.exe",
       "C:\\Users\\user\\Temp\\vant_installer_latest.exe"},
      {"Chinese", u"C:\\用户\\临时\\a.exe", "C:\\用户\\临时\\a.exe"},
      {"surrogate pair", u"C:\\\U0001F600\\a.exe", "C:\\\U0001F600\\a.exe"},
      {"lone high", {u'C', 0xD83D, u'x'}, "C\uFFFDx"},
      {"lone low at end", {u'C', 0xDE00}, "C\uFFFD"},
      {"two lone units", {0xDE00, 0xD83D}, "\uFFFD\uFFFD"},
      {"U+D7FF is not a surrogate", {0xD7FF}, "\uD7FF"},
  };
  for (const Case& c : cases) {
    const PathText path = path_from_wide(c.units);
    const std::string display = utf8_for_display(path.bytes());
    EXPECT_EQ(display, c.display) << c.name;
    EXPECT_EQ(display.size(), path.bytes().size()) << c.name;
  }
}

TEST(PathDisplayText, LeavesACutSequenceAtTheEndAlone) {
  // Not WTF-8 a program makes, but the display must not read past the end.
  const PathText cut = PathText::from_wtf8(bytes({0x61, 0xED, 0xA0}));
  EXPECT_EQ(utf8_for_display(cut.bytes()), cut.bytes());
}

struct JoinCase {
  const char* name;
  const char* directory;
  const char* joined;
};

TEST(JoinPath, SeparatorRules) {
  const JoinCase cases[] = {
      {"trailing backslash", "C:\\Temp\\", "C:\\Temp\\vant_installer_latest.exe"},
      {"trailing slash kept", "C:/Temp/", "C:/Temp/vant_installer_latest.exe"},
      {"no separator", "C:\\Temp", "C:\\Temp\\vant_installer_latest.exe"},
      {"bare drive", "C:", "C:vant_installer_latest.exe"},
      {"bare lower-case drive", "d:", "d:vant_installer_latest.exe"},
      {"not a drive", "1:", "1:\\vant_installer_latest.exe"},
      {"drive root", "C:\\", "C:\\vant_installer_latest.exe"},
      {"empty", "", "vant_installer_latest.exe"},
      {"relative", ".", ".\\vant_installer_latest.exe"},
      {"dots kept", "C:\\a\\.\\..\\b", "C:\\a\\.\\..\\b\\vant_installer_latest.exe"},
      {"UNC", "\\\\server\\share", "\\\\server\\share\\vant_installer_latest.exe"},
      {"verbatim drive, one separator", "\\\\?\\C:\\Temp\\", "\\\\?\\C:\\Temp\\vant_installer_latest.exe"},
      {"verbatim drive, two separators", "\\\\?\\C:\\Temp\\\\", "\\\\?\\C:\\Temp\\vant_installer_latest.exe"},
      {"verbatim drive, no separator", "\\\\?\\C:\\Temp", "\\\\?\\C:\\Temp\\vant_installer_latest.exe"},
      {"verbatim drive root", "\\\\?\\C:\\", "\\\\?\\C:\\vant_installer_latest.exe"},
      {"bare verbatim drive", "\\\\?\\C:", "\\\\?\\C:\\vant_installer_latest.exe"},
      {"verbatim empty parts dropped", "\\\\?\\C:\\\\a\\\\\\b\\", "\\\\?\\C:\\a\\b\\vant_installer_latest.exe"},
      {"verbatim dots kept", "\\\\?\\C:\\a\\.\\..\\", "\\\\?\\C:\\a\\.\\..\\vant_installer_latest.exe"},
      {"verbatim slash is a character", "\\\\?\\C:\\a/b/", "\\\\?\\C:\\a/b/\\vant_installer_latest.exe"},
      {"verbatim UNC", "\\\\?\\UNC\\server\\share\\Temp\\",
       "\\\\?\\UNC\\server\\share\\Temp\\vant_installer_latest.exe"},
      {"verbatim UNC share only", "\\\\?\\UNC\\server\\share", "\\\\?\\UNC\\server\\share\\vant_installer_latest.exe"},
      {"verbatim UNC share root", "\\\\?\\UNC\\server\\share\\",
       "\\\\?\\UNC\\server\\share\\vant_installer_latest.exe"},
      {"verbatim other prefix", "\\\\?\\Volume{1234}\\Temp\\\\",
       "\\\\?\\Volume{1234}\\Temp\\vant_installer_latest.exe"},
      {"verbatim other prefix alone", "\\\\?\\pipe", "\\\\?\\pipe\\vant_installer_latest.exe"},
      {"verbatim drive-like part", "\\\\?\\C:x\\", "\\\\?\\C:x\\vant_installer_latest.exe"},
      {"slashes are not a verbatim prefix", "//?/C:/Temp", "//?/C:/Temp\\vant_installer_latest.exe"},
  };
  for (const JoinCase& c : cases) {
    const PathText directory = PathText::from_utf8(c.directory);
    EXPECT_EQ(join_path(directory, "vant_installer_latest.exe").bytes(), c.joined) << c.name;
    EXPECT_EQ(directory.bytes(), c.directory) << c.name << ": the folder is left unchanged";
  }
}

TEST(JoinPath, KeepsLoneSurrogatesOfTheFolder) {
  const PathText directory = path_from_wide(std::u16string{u'C', u':', u'\\', 0xD800});
  const PathText joined = join_path(directory, "a.exe");
  EXPECT_EQ(joined.bytes(), bytes({'C', ':', '\\', 0xED, 0xA0, 0x80, '\\', 'a', '.', 'e', 'x', 'e'}));
  EXPECT_EQ(utf8_for_display(joined.bytes()), "C:\\\uFFFD\\a.exe");
}

// A path with a folder is left alone; a bare name is pinned to the current
// folder so no program search can pick another file of that name.
TEST(WithExplicitFolder, OnlyABareNameGetsTheCurrentFolder) {
  struct Case {
    std::string path;
    std::string explicit_path;
  };
  const Case cases[] = {
      {"vant_installer_latest.exe", ".\\vant_installer_latest.exe"},
      {"C:vant_installer_latest.exe", "C:.\\vant_installer_latest.exe"},
      {"z:a.exe", "z:.\\a.exe"},
      // Windows takes any one UTF-16 unit before a colon as a drive
      // (GetFullPathNameW gives 1:\a.exe for 1:a.exe, measured under Wine 8).
      {"1:a.exe", "1:.\\a.exe"},
      {"\xE4\xB8\xAD:a.exe", "\xE4\xB8\xAD:.\\a.exe"},
      {"\xED\xA0\x80:a.exe", "\xED\xA0\x80:.\\a.exe"},          // a lone surrogate is one unit
      {"\xF0\x9F\x98\x80:a.exe", ".\\\xF0\x9F\x98\x80:a.exe"},  // a pair is two: no drive
      {"a:", "a:.\\"},
      {"\xE4\xB8\xAD"
       "\xED\xA0\x80.exe",
       ".\\\xE4\xB8\xAD"
       "\xED\xA0\x80.exe"},
      {"C:\\Temp\\a.exe", "C:\\Temp\\a.exe"},
      {"dir/a.exe", "dir/a.exe"},
      {".\\a.exe", ".\\a.exe"},
      {"\\\\?\\C:\\a.exe", "\\\\?\\C:\\a.exe"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(with_explicit_folder(PathText::from_wtf8(c.path)).bytes(), c.explicit_path) << c.path;
  }
}

}  // namespace
}  // namespace vant
