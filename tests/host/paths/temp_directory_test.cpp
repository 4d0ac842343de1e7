#include "paths/temp_directory.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_windows.h"
#include "paths/join_path.h"
#include "support/seam_test.h"

namespace vant {
namespace {

using testing::SeamTest;

class TempDirectoryTest : public SeamTest {};

TEST_F(TempDirectoryTest, UsesGetTempPathWWhenKernel32LacksTheNewerFunction) {
  w().temp_path = u"C:\\Users\\A B\\AppData\\Local\\Temp\\";
  const auto dir = temp_directory();
  ASSERT_TRUE(dir.has_value());
  EXPECT_EQ(dir->bytes(), "C:\\Users\\A B\\AppData\\Local\\Temp\\");
  EXPECT_EQ(w().count_calls("GetProcAddress"), 1u);
  EXPECT_EQ(w().count_calls("GetTempPathW"), 1u);
  EXPECT_EQ(w().count_calls("GetTempPath2W"), 0u);
}

TEST_F(TempDirectoryTest, PrefersGetTempPath2WWhenKernel32ExportsIt) {
  w().temp_path2 = u"C:\\Windows\\SystemTemp\\";
  const auto dir = temp_directory();
  ASSERT_TRUE(dir.has_value());
  EXPECT_EQ(dir->bytes(), "C:\\Windows\\SystemTemp\\");
  EXPECT_EQ(w().count_calls("GetTempPathW"), 0u);
  EXPECT_EQ(w().count_calls("GetTempPath2W"), 1u);
}

TEST_F(TempDirectoryTest, WithoutKernel32FallsBackToGetTempPathW) {
  w().temp_path2 = u"C:\\unused\\";
  w().kernel32_loaded = false;
  ASSERT_TRUE(temp_directory().has_value());
  EXPECT_EQ(w().count_calls("GetProcAddress"), 0u);
  EXPECT_EQ(w().count_calls("GetTempPathW"), 1u);
}

TEST_F(TempDirectoryTest, ChoiceIsMadeOnceForTheProcess) {
  w().temp_path2 = std::u16string(700, u'a');  // two calls in the first loop
  ASSERT_TRUE(temp_directory().has_value());
  ASSERT_TRUE(temp_directory().has_value());
  EXPECT_EQ(w().count_calls("GetModuleHandleA"), 1u);
  EXPECT_EQ(w().count_calls("GetProcAddress"), 1u);
  EXPECT_EQ(w().count_calls("GetTempPath2W"), 4u);

  // Even when the system changes afterwards, the stored choice stays.
  w().temp_path2.reset();
  w().on_GetTempPath2W = [](win::DWORD, char16_t* buffer) {
    buffer[0] = u'Z';
    buffer[1] = 0;
    return win::DWORD{1};
  };
  ASSERT_TRUE(temp_directory().has_value());
  EXPECT_EQ(temp_directory()->bytes(), "Z");
  EXPECT_EQ(w().count_calls("GetProcAddress"), 1u);
}

TEST_F(TempDirectoryTest, FailureIsTheSystemsErrorCode) {
  w().on_GetTempPathW = [](win::DWORD, char16_t*) {
    win::SetLastError(win::ERROR_FILENAME_EXCED_RANGE);
    return win::DWORD{0};
  };
  EXPECT_EQ(temp_directory(), std::unexpected(SystemError::from_code(206)));
}

TEST_F(TempDirectoryTest, EmptyAnswerIsAnEmptyPathEvenRightAfterTheLookUp) {
  // The failed GetProcAddress leaves error 127 behind; it must not be taken
  // for the empty answer's error.
  w().on_GetTempPathW = [](win::DWORD, char16_t* buffer) {
    buffer[0] = 0;
    return win::DWORD{0};
  };
  const auto dir = temp_directory();
  ASSERT_TRUE(dir.has_value());
  EXPECT_TRUE(dir->empty());
  EXPECT_EQ(join_path(*dir, "vant_installer_latest.exe").bytes(), "vant_installer_latest.exe");
}

TEST_F(TempDirectoryTest, LongAnswerGrowsTheBufferOnce) {
  const std::u16string long_dir = u"C:\\" + std::u16string(696, u'd') + u"\\";  // 700 units
  w().temp_path = long_dir;
  const auto dir = temp_directory();
  ASSERT_TRUE(dir.has_value());
  EXPECT_EQ(dir->bytes(), fake::utf8(long_dir));
  EXPECT_EQ(w().count_calls("GetTempPathW(512)"), 1u);
  EXPECT_EQ(w().count_calls("GetTempPathW(701)"), 1u);
}

TEST_F(TempDirectoryTest, KeepsTheExactUnitsOfTheAnswer) {
  std::u16string units = u"C:\\Temp\\\U0001F600";
  units.push_back(0xD800);  // lone surrogate
  units += u"\\";
  w().temp_path = units;
  const auto dir = temp_directory();
  ASSERT_TRUE(dir.has_value());
  EXPECT_EQ(dir->bytes(), "C:\\Temp\\\xF0\x9F\x98\x80\xED\xA0\x80\\");
}

}  // namespace
}  // namespace vant
