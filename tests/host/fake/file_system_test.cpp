// The fake's model of Windows paths, pinned to what Windows does: the path
// normalisation that GetFullPathNameW shows and the file functions apply,
// and the file-system redirection of a 32-bit process on 64-bit Windows.
// The program's own rules are only as right as this model, so each row is
// a documented or measured fact (Wine 8, the same calls, in a WoW64 prefix).
#include <gtest/gtest.h>

#include <string>

#include "fake_windows.h"
#include "support/seam_test.h"

namespace vant {
namespace {

using testing::SeamTest;

class FakeFileSystem : public SeamTest {
 protected:
  static std::string full_path_name(const std::u16string& path) {
    char16_t buffer[600];
    const win::DWORD length = win::GetFullPathNameW(path.c_str(), 600, buffer, nullptr);
    return fake::utf8(std::u16string_view(buffer, length));
  }
};

TEST_F(FakeFileSystem, GetFullPathNameWNormalisesAsWindowsDoes) {
  struct Case {
    std::u16string path;
    const char* full;
  };
  const Case cases[] = {
      // The last component loses its trailing dots and spaces; one made of
      // nothing else leaves the folder with its separator.
      {u"C:\\a\\b.. ", "C:\\a\\b"},
      {u"C:\\a\\b. .", "C:\\a\\b"},
      {u"C:\\a\\...", "C:\\a\\"},
      {u"C:\\a\\ ", "C:\\a\\"},
      {u"C:\\a\\.. ", "C:\\a\\"},
      {u"C:\\a\\b\\ .", "C:\\a\\b\\"},
      // "." and ".." are resolved instead.
      {u"C:\\a\\.", "C:\\a"},
      {u"C:\\a\\..", "C:\\"},
      // A component before a separator loses one trailing dot only.
      {u"C:\\a\\b.\\c", "C:\\a\\b\\c"},
      {u"C:\\a\\b..\\c", "C:\\a\\b.\\c"},
      {u"C:\\a\\b .\\c", "C:\\a\\b \\c"},
      {u"C:\\a\\b. \\c", "C:\\a\\b. \\c"},
      {u"C:\\a\\. \\b", "C:\\a\\. \\b"},
      {u"C:\\a\\b..\\", "C:\\a\\b.\\"},
      // Dots inside a name stay.
      {u"C:\\a\\b..exe", "C:\\a\\b..exe"},
      // A \\?\ path is normalised too, with the prefix as its root.
      {u"\\\\?\\C:\\a\\b.. ", "\\\\?\\C:\\a\\b"},
      {u"\\\\?\\C:\\a\\..\\b", "\\\\?\\C:\\b"},
      {u"\\\\?\\C:\\a/b", "\\\\?\\C:\\a\\b"},
      {u"\\\\?\\C:\\..", "\\\\?\\"},
      {u"\\\\?\\UNC\\s\\sh\\b. ", "\\\\?\\UNC\\s\\sh\\b"},
      {u"\\\\.\\C:\\a\\..\\..\\b", "\\\\.\\b"},
      {u"\\\\server\\share\\b.", "\\\\server\\share\\b"},
      // Any unit before a colon makes a drive.
      {u"1:b", "1:\\b"},
      {u"1:.\\b", "1:\\b"},
  };
  for (const Case& c : cases) EXPECT_EQ(full_path_name(c.path), c.full) << fake::utf8(c.path);
}

// What a file function reaches: the normalised path, or a \\?\ path as it
// is; for a WoW64 process, redirected.
TEST_F(FakeFileSystem, FileFunctionsReachTheRedirectedFile) {
  struct Case {
    std::u16string path;
    const char* native;  // a 64-bit process
    const char* wow64;   // a 32-bit process on 64-bit Windows
  };
  const Case cases[] = {
      {u"C:\\Windows\\system32\\curl.exe", "C:\\Windows\\system32\\curl.exe", "C:\\Windows\\SysWOW64\\curl.exe"},
      {u"c:/WINDOWS/SYSTEM32/curl.exe", "c:\\WINDOWS\\SYSTEM32\\curl.exe", "C:\\Windows\\SysWOW64\\curl.exe"},
      {u"\\\\?\\C:\\Windows\\System32\\curl.exe", "C:\\Windows\\System32\\curl.exe", "C:\\Windows\\SysWOW64\\curl.exe"},
      {u"C:\\Windows\\Temp\\..\\System32", "C:\\Windows\\System32", "C:\\Windows\\SysWOW64"},
      {u"C:\\Windows\\Sysnative\\curl.exe", "C:\\Windows\\Sysnative\\curl.exe", "C:\\Windows\\System32\\curl.exe"},
      {u"C:\\Windows\\Sysnative", "C:\\Windows\\Sysnative", "C:\\Windows\\System32"},
      {u"C:\\Windows\\SysWOW64\\curl.exe", "C:\\Windows\\SysWOW64\\curl.exe", "C:\\Windows\\SysWOW64\\curl.exe"},
      {u"C:\\Windows\\System32x\\curl.exe", "C:\\Windows\\System32x\\curl.exe", "C:\\Windows\\System32x\\curl.exe"},
      {u"C:\\Windows\\curl.exe", "C:\\Windows\\curl.exe", "C:\\Windows\\curl.exe"},
      {u"C:\\Windows\\regedit.exe", "C:\\Windows\\regedit.exe", "C:\\Windows\\SysWOW64\\regedit.exe"},
      {u"C:\\Windows\\lastgood\\system32\\a", "C:\\Windows\\lastgood\\system32\\a",
       "C:\\Windows\\lastgood\\SysWOW64\\a"},
      {u"C:\\Windows\\System32\\drivers\\etc\\hosts", "C:\\Windows\\System32\\drivers\\etc\\hosts",
       "C:\\Windows\\System32\\drivers\\etc\\hosts"},
      {u"C:\\Windows\\System32\\drivers\\x.sys", "C:\\Windows\\System32\\drivers\\x.sys",
       "C:\\Windows\\SysWOW64\\drivers\\x.sys"},
      {u"C:\\Windows\\System32\\catroot2", "C:\\Windows\\System32\\catroot2", "C:\\Windows\\System32\\catroot2"},
      {u"C:\\a\\b.exe. ", "C:\\a\\b.exe", "C:\\a\\b.exe"},
      {u"\\\\?\\C:\\a\\b.exe. ", "C:\\a\\b.exe. ", "C:\\a\\b.exe. "},
      {u"\\\\.\\C:\\a\\b.exe", "C:\\a\\b.exe", "C:\\a\\b.exe"},
      {u"\\\\?\\UNC\\server\\share\\a", "\\\\server\\share\\a", "\\\\server\\share\\a"},
  };
  for (const Case& c : cases) {
    w().wow64 = false;
    EXPECT_EQ(fake::utf8(w().file_system_path(c.path)), c.native) << fake::utf8(c.path);
    w().wow64 = true;
    EXPECT_EQ(fake::utf8(w().file_system_path(c.path)), c.wow64) << fake::utf8(c.path);
  }
}

// Both processes are given the same system folder; only what its accesses
// reach differs. Sysnative exists for a WoW64 process only.
TEST_F(FakeFileSystem, SystemFolderIsSystem32ForBothAndSysnativeOnlyUnderWow64) {
  w().add_directory(u"C:\\Windows\\SysWOW64");
  w().add_file(u"C:\\Windows\\SysWOW64\\only32.txt");
  w().add_file(u"C:\\Windows\\System32\\only64.txt");
  for (const bool wow64 : {false, true}) {
    w().wow64 = wow64;
    char16_t buffer[64];
    const win::UINT length = win::GetSystemDirectoryW(buffer, 64);
    EXPECT_EQ(std::u16string_view(buffer, length), u"C:\\Windows\\system32");
    const auto reaches = [](const char16_t* path) {
      return win::GetFileAttributesW(path) != win::INVALID_FILE_ATTRIBUTES;
    };
    EXPECT_EQ(reaches(u"C:\\Windows\\system32\\only32.txt"), wow64);
    EXPECT_EQ(reaches(u"C:\\WINDOWS\\SYSTEM32\\only32.txt"), wow64);
    EXPECT_EQ(reaches(u"\\\\?\\C:\\Windows\\system32\\only32.txt"), wow64);
    EXPECT_EQ(reaches(u"C:\\Windows\\system32\\only64.txt"), !wow64);
    EXPECT_EQ(reaches(u"C:\\Windows\\Sysnative\\only64.txt"), wow64);
    EXPECT_EQ(reaches(u"C:\\Windows\\Sysnative"), wow64);
    EXPECT_TRUE(reaches(u"C:\\Windows\\SysWOW64\\only32.txt"));
  }
  EXPECT_THROW(w().add_file(u"C:\\Windows\\Sysnative\\curl.exe"), std::logic_error);
}

// Without \\?\ a name's trailing dots and spaces are dropped on the way to
// the file system; with it they are part of the name.
TEST_F(FakeFileSystem, OnlyAVerbatimPathReachesANameWithTrailingDots) {
  w().add_file(u"\\\\?\\C:\\work\\a.exe.");
  EXPECT_TRUE(w().exists(u"\\\\?\\C:\\work\\a.exe."));
  EXPECT_FALSE(w().exists(u"C:\\work\\a.exe."));  // that is C:\work\a.exe
  EXPECT_NE(win::GetFileAttributesW(u"\\\\?\\C:\\work\\a.exe."), win::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(win::GetFileAttributesW(u"C:\\work\\a.exe."), win::INVALID_FILE_ATTRIBUTES);
  w().add_file(u"C:\\work\\a.exe");
  EXPECT_NE(win::GetFileAttributesW(u"C:\\work\\a.exe. "), win::INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace vant
