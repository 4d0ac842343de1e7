// Whether the ANSI code page spells a folder exactly, for the code pages of
// a Western (1252), a Chinese (936) and a UTF-8 (65001) Windows.
#include "paths/ansi_spelling.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "fake_windows.h"
#include "support/seam_test.h"

namespace vant {
namespace {

using ::testing::ElementsAre;
using testing::SeamTest;

PathText path_of(std::u16string_view units) { return path_from_wide(units); }

// A folder name with an unpaired high surrogate, which Windows allows.
std::u16string lone_surrogate_folder() {
  std::u16string folder = u"C:\\Users\\T";
  folder.push_back(char16_t(0xD800));
  return folder + u"\\Temp\\";
}

struct SpellingCase {
  const char* name;
  std::u16string folder;
  win::UINT code_page;
  bool exact;
};

void PrintTo(const SpellingCase& c, std::ostream* os) { *os << c.name; }

class AnsiSpelling : public SeamTest, public ::testing::WithParamInterface<SpellingCase> {};

TEST_P(AnsiSpelling, IsExactOnlyWhenEveryCharacterHasItsOwnBytes) {
  w().use_ansi_code_page(GetParam().code_page);
  const auto exact = spelt_exactly_in_ansi_code_page(path_of(GetParam().folder));
  ASSERT_TRUE(exact.has_value()) << exact.error().display_text();
  EXPECT_EQ(*exact, GetParam().exact);
}

const std::u16string kAscii = u"C:\\Users\\user\\AppData\\Local\\Temp\\";
const std::u16string kChinese = u"C:\\Users\\张三\\AppData\\Local\\Temp\\";
const std::u16string kKorean = u"C:\\Users\\김민준\\Temp\\";            // in neither 936 nor 1252
const std::u16string kOutsideBmp = u"C:\\Users\\\U00020BB7田\\Temp\\";  // a surrogate pair
const std::u16string kLookAlike = u"C:\\Users\\Jānis\\Temp\\";          // 1252 has a look-alike for ā

INSTANTIATE_TEST_SUITE_P(
    Rows, AnsiSpelling,
    ::testing::Values(
        SpellingCase{"Ascii1252", kAscii, 1252, true}, SpellingCase{"Ascii936", kAscii, 936, true},
        SpellingCase{"Ascii65001", kAscii, 65001, true}, SpellingCase{"Chinese1252", kChinese, 1252, false},
        SpellingCase{"Chinese936", kChinese, 936, true}, SpellingCase{"Chinese65001", kChinese, 65001, true},
        SpellingCase{"Korean1252", kKorean, 1252, false}, SpellingCase{"Korean936", kKorean, 936, false},
        SpellingCase{"Korean65001", kKorean, 65001, true}, SpellingCase{"OutsideTheBmp1252", kOutsideBmp, 1252, false},
        SpellingCase{"OutsideTheBmp936", kOutsideBmp, 936, false},
        SpellingCase{"OutsideTheBmp65001", kOutsideBmp, 65001, true},
        SpellingCase{"LookAlike1252", kLookAlike, 1252, false}, SpellingCase{"LookAlike65001", kLookAlike, 65001, true},
        SpellingCase{"LoneSurrogate1252", lone_surrogate_folder(), 1252, false},
        SpellingCase{"LoneSurrogate936", lone_surrogate_folder(), 936, false},
        SpellingCase{"LoneSurrogate65001", lone_surrogate_folder(), 65001, false}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

class AnsiSpellingTest : public SeamTest {};

// The question goes to the system's ANSI code page (CP_ACP) with
// WC_NO_BEST_FIT_CHARS (1024): one size query, whose used-default flag
// answers.
TEST_F(AnsiSpellingTest, AsksTheAnsiCodePageWithoutLookAlikes) {
  w().use_ansi_code_page(1252);
  ASSERT_TRUE(spelt_exactly_in_ansi_code_page(path_of(kChinese)).has_value());
  EXPECT_THAT(w().calls, ElementsAre("GetACP", "WideCharToMultiByte(0,1024," + std::to_string(kChinese.size()) + ")"));
}

// Under UTF-8 the conversion would refuse the flag and the used-default
// pointer; it is not asked at all.
TEST_F(AnsiSpellingTest, Utf8AnsiCodePageIsNotAskedAnything) {
  w().use_ansi_code_page(65001);
  EXPECT_EQ(spelt_exactly_in_ansi_code_page(path_of(kKorean)), true);
  EXPECT_THAT(w().calls, ElementsAre("GetACP"));
}

TEST_F(AnsiSpellingTest, EmptyPathAndLoneSurrogatesNeedNoSystemCall) {
  EXPECT_EQ(spelt_exactly_in_ansi_code_page(PathText()), true);
  EXPECT_EQ(spelt_exactly_in_ansi_code_page(path_of(lone_surrogate_folder())), false);
  EXPECT_TRUE(w().calls.empty());
}

TEST_F(AnsiSpellingTest, AFailedConversionIsReportedWithItsCode) {
  w().use_ansi_code_page(1252);
  w().on_WideCharToMultiByte = [](const char16_t*, int, char*, int) {
    fake::world().last_error() = win::ERROR_NOT_ENOUGH_MEMORY;
    return 0;
  };
  const auto exact = spelt_exactly_in_ansi_code_page(path_of(kChinese));
  ASSERT_FALSE(exact.has_value());
  EXPECT_EQ(exact.error().os_code(), 8);
}

}  // namespace
}  // namespace vant
