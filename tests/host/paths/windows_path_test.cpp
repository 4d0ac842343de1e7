#include "paths/windows_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_windows.h"
#include "paths/path_text.h"
#include "paths/windows_path.h"
#include "support/seam_test.h"

namespace vant {
namespace {

using testing::SeamTest;

// An absolute path of exactly `units` UTF-16 units with its terminator.
std::u16string drive_path(std::size_t units, char16_t fill = u'a') { return u"C:\\" + std::u16string(units - 4, fill); }

// The same length made of characters outside the BMP (two units, four
// bytes each), padded with one ASCII character when the count is odd.
std::u16string wide_char_path(std::size_t units) {
  std::u16string path = u"C:\\";
  while (path.size() + 1 + 2 <= units) path += u"\U00010000";
  if (path.size() + 1 < units) path += u"a";
  return path;
}

std::string wtf8(const std::u16string& units) { return path_from_wide(units).bytes(); }

class ToWideTextTest : public SeamTest {};

TEST_F(ToWideTextTest, ConvertsAndRefusesNul) {
  EXPECT_EQ(to_wide_text("C:\\\xE4\xB8\xAD\xF0\x9F\x98\x80"), u"C:\\\u4E2D\U0001F600");
  EXPECT_EQ(to_wide_text(wtf8(std::u16string{u'a', 0xDC00})), (std::u16string{u'a', 0xDC00}));
  EXPECT_EQ(to_wide_text(""), u"");
  EXPECT_EQ(to_wide_text(std::string_view("a\0b", 3)), std::unexpected(errors::nul_in_wide_text));
  EXPECT_EQ(to_wide_text(std::string_view("\0", 1)), std::unexpected(errors::nul_in_wide_text));
  EXPECT_EQ(errors::nul_in_wide_text.display_text(), "strings passed to WinAPI cannot contain NULs");
}

struct PlatformPathCase {
  const char* name;
  std::u16string input;
  std::u16string expected;
  std::size_t full_path_calls;
};

class ToPlatformPath : public SeamTest, public ::testing::WithParamInterface<PlatformPathCase> {};

TEST_P(ToPlatformPath, Converts) {
  const PlatformPathCase& c = GetParam();
  const auto path = to_windows_path(wtf8(c.input));
  ASSERT_TRUE(path.has_value()) << path.error().display_text();
  EXPECT_EQ(fake::utf8(*path), fake::utf8(c.expected));
  EXPECT_EQ(path->size(), c.expected.size());
  EXPECT_EQ(w().count_calls("GetFullPathNameW"), c.full_path_calls);
  // Whatever its form, it names the file the text names.
  EXPECT_EQ(fake::utf8(w().file_system_path(*path)), fake::utf8(w().file_system_path(c.input)));
}

INSTANTIATE_TEST_SUITE_P(
    LengthsAndPrefixes, ToPlatformPath,
    ::testing::Values(
        // Lengths count UTF-16 units with the terminator.
        PlatformPathCase{"Absolute247Unchanged", drive_path(247), drive_path(247), 0},
        PlatformPathCase{"Absolute248Prefixed", drive_path(248), u"\\\\?\\" + drive_path(248), 1},
        PlatformPathCase{"Absolute259Prefixed", drive_path(259), u"\\\\?\\" + drive_path(259), 1},
        PlatformPathCase{"Absolute260Prefixed", drive_path(260), u"\\\\?\\" + drive_path(260), 1},
        PlatformPathCase{"Absolute261Prefixed", drive_path(261), u"\\\\?\\" + drive_path(261), 1},
        PlatformPathCase{"Absolute600ThroughTheBufferLoop", drive_path(600), u"\\\\?\\" + drive_path(600), 2},
        PlatformPathCase{"WideChars247Unchanged", wide_char_path(247), wide_char_path(247), 0},
        PlatformPathCase{"WideChars248Prefixed", wide_char_path(248), u"\\\\?\\" + wide_char_path(248), 1},
        PlatformPathCase{"WideChars261Prefixed", wide_char_path(261), u"\\\\?\\" + wide_char_path(261), 1},
        // Absolute forms that stay as they are while short.
        PlatformPathCase{"BareDrive", u"C:", u"C:", 0},
        PlatformPathCase{"ForwardSlashes", u"C:/Tools/curl.exe", u"C:/Tools/curl.exe", 0},
        PlatformPathCase{"ShortUnc", u"\\\\server\\share\\a.exe", u"\\\\server\\share\\a.exe", 0},
        PlatformPathCase{"Empty", u"", u"", 0},
        // Relative ones are made absolute against the current folder.
        PlatformPathCase{"Relative", u"tools\\..\\curl.exe", u"C:\\work\\curl.exe", 1},
        // A drive-relative path starts from that drive's current folder,
        // which for the process's own drive is the current folder.
        PlatformPathCase{"DriveRelative", u"C:curl.exe", u"C:\\work\\curl.exe", 1},
        PlatformPathCase{"DriveRelativeDotDot", u"c:..\\curl.exe", u"C:\\curl.exe", 1},
        PlatformPathCase{"OtherDriveRelative", u"D:curl.exe", u"D:\\curl.exe", 1},
        PlatformPathCase{"RootRelative", u"\\curl.exe", u"C:\\curl.exe", 1},
        PlatformPathCase{"RelativeBecomingLong", std::u16string(250, u'r'),
                         u"\\\\?\\C:\\work\\" + std::u16string(250, u'r'), 1},
        // Verbatim drive paths lose the prefix while Windows reads the plain
        // form as the same path.
        PlatformPathCase{"VerbatimDriveStripped", u"\\\\?\\C:\\Temp\\a.exe", u"C:\\Temp\\a.exe", 1},
        PlatformPathCase{"VerbatimDriveWithDotsKept", u"\\\\?\\C:\\Temp\\..\\a.exe", u"\\\\?\\C:\\Temp\\..\\a.exe", 1},
        PlatformPathCase{"VerbatimDriveWithSlashKept", u"\\\\?\\C:\\Temp/a.exe", u"\\\\?\\C:\\Temp/a.exe", 1},
        // Without the prefix, trailing dots and spaces of the last component
        // and one trailing dot of a folder would be dropped: another file.
        PlatformPathCase{"VerbatimTrailingDotKept", u"\\\\?\\C:\\Temp\\a.exe.", u"\\\\?\\C:\\Temp\\a.exe.", 1},
        PlatformPathCase{"VerbatimTrailingSpaceKept", u"\\\\?\\C:\\Temp\\a.exe ", u"\\\\?\\C:\\Temp\\a.exe ", 1},
        PlatformPathCase{"VerbatimTrailingDotsAndSpacesKept", u"\\\\?\\C:\\Temp\\b.. ", u"\\\\?\\C:\\Temp\\b.. ", 1},
        PlatformPathCase{"VerbatimNameOfDotsKept", u"\\\\?\\C:\\Temp\\...", u"\\\\?\\C:\\Temp\\...", 1},
        PlatformPathCase{"VerbatimFolderWithTrailingDotKept", u"\\\\?\\C:\\Temp.\\a.exe", u"\\\\?\\C:\\Temp.\\a.exe",
                         1},
        PlatformPathCase{"VerbatimUncTrailingDotKept", u"\\\\?\\UNC\\server\\share\\a.exe.",
                         u"\\\\?\\UNC\\server\\share\\a.exe.", 1},
        // Dots and spaces elsewhere read back the same.
        PlatformPathCase{"VerbatimDotsInsideStripped", u"\\\\?\\C:\\T .x\\a..exe", u"C:\\T .x\\a..exe", 1},
        PlatformPathCase{"VerbatimLeadingSpaceStripped", u"\\\\?\\C:\\Temp\\ a.exe", u"C:\\Temp\\ a.exe", 1},
        PlatformPathCase{"Verbatim260Stripped", u"\\\\?\\" + drive_path(256), drive_path(256), 1},
        PlatformPathCase{"Verbatim261Kept", u"\\\\?\\" + drive_path(257), u"\\\\?\\" + drive_path(257), 0},
        PlatformPathCase{"VerbatimUncStripped", u"\\\\?\\UNC\\server\\share\\a.exe", u"\\\\server\\share\\a.exe", 1},
        PlatformPathCase{"VerbatimUncWithDotsKept", u"\\\\?\\UNC\\server\\share\\.\\a.exe",
                         u"\\\\?\\UNC\\server\\share\\.\\a.exe", 1},
        PlatformPathCase{"VerbatimOtherKept", u"\\\\?\\Volume{1}\\a.exe", u"\\\\?\\Volume{1}\\a.exe", 0},
        PlatformPathCase{"NtPathKept", u"\\??\\C:\\a.exe", u"\\??\\C:\\a.exe", 0},
        // Long forms of the other prefixes.
        PlatformPathCase{"LongDevicePath", u"\\\\.\\pipe\\" + std::u16string(250, u'd'),
                         u"\\\\?\\pipe\\" + std::u16string(250, u'd'), 1},
        PlatformPathCase{"LongUncPath", u"\\\\server\\share\\" + std::u16string(250, u'u'),
                         u"\\\\?\\UNC\\server\\share\\" + std::u16string(250, u'u'), 1},
        PlatformPathCase{"LongNtPath", u"\\??\\C:\\" + std::u16string(300, u'n'),
                         u"\\??\\C:\\" + std::u16string(300, u'n'), 0}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

class ToPlatformPathTest : public SeamTest {};

TEST_F(ToPlatformPathTest, GetFullPathNameWFailureIsItsCode) {
  w().on_GetFullPathNameW = [](const char16_t*, win::DWORD, char16_t*) {
    win::SetLastError(win::ERROR_FILENAME_EXCED_RANGE);
    return win::DWORD{0};
  };
  EXPECT_EQ(to_windows_path("relative.exe"), std::unexpected(SystemError::from_code(206)));
  EXPECT_EQ(to_windows_path("\\\\?\\C:\\a.exe"), std::unexpected(SystemError::from_code(206)));
  EXPECT_EQ(to_windows_path(wtf8(drive_path(300))), std::unexpected(SystemError::from_code(206)));
  // A short absolute path needs no call, so it cannot fail.
  EXPECT_EQ(to_windows_path("C:\\a.exe"), u"C:\\a.exe");
}

// Windows keeps each other drive's current folder in a hidden variable.
TEST_F(ToPlatformPathTest, OtherDriveRelativeUsesThatDrivesCurrentFolder) {
  w().environment[u"=D:"] = u"D:\\downloads";
  EXPECT_EQ(to_windows_path("D:curl.exe"), u"D:\\downloads\\curl.exe");
  EXPECT_EQ(to_windows_path("C:curl.exe"), u"C:\\work\\curl.exe");
}

TEST_F(ToPlatformPathTest, NulIsRefusedBeforeAnyCall) {
  EXPECT_EQ(to_windows_path(std::string_view("C:\\a\0.exe", 9)), std::unexpected(errors::nul_in_wide_text));
  EXPECT_TRUE(w().calls.empty());
}

TEST_F(ToPlatformPathTest, KeepsLoneSurrogates) {
  const std::u16string path = {u'C', u':', u'\\', 0xD800, u'.', u'e', u'x', u'e'};
  EXPECT_EQ(to_windows_path(wtf8(path)), path);
}

}  // namespace
}  // namespace vant
