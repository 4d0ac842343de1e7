#include "platform/unicode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/bytes.h"

namespace vant {
namespace {

using testing::bytes;

std::u16string units(std::initializer_list<char16_t> values) { return std::u16string(values); }

TEST(Utf8SequenceWidth, ByFirstByte) {
  struct Case {
    unsigned first;
    int width;
  };
  const Case cases[] = {{0x00, 1}, {0x7F, 1}, {0x80, 0}, {0xBF, 0}, {0xC0, 0}, {0xC1, 0}, {0xC2, 2},
                        {0xDF, 2}, {0xE0, 3}, {0xEF, 3}, {0xF0, 4}, {0xF4, 4}, {0xF5, 0}, {0xFF, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(utf8_sequence_width(static_cast<std::uint8_t>(c.first)), c.width) << std::hex << c.first;
  }
}

struct ScanCase {
  const char* name;
  std::string input;
  std::size_t valid_up_to;
  std::size_t error_len;
};

TEST(ScanUtf8, BoundariesOverlongsSurrogatesAndTruncation) {
  const ScanCase cases[] = {
      {"empty", "", 0, 0},
      {"U+007F", bytes({0x7F}), 1, 0},
      {"U+0080", bytes({0xC2, 0x80}), 2, 0},
      {"U+07FF", bytes({0xDF, 0xBF}), 2, 0},
      {"U+0800", bytes({0xE0, 0xA0, 0x80}), 3, 0},
      {"U+D7FF", bytes({0xED, 0x9F, 0xBF}), 3, 0},
      {"U+E000", bytes({0xEE, 0x80, 0x80}), 3, 0},
      {"U+FFFF", bytes({0xEF, 0xBF, 0xBF}), 3, 0},
      {"U+10000", bytes({0xF0, 0x90, 0x80, 0x80}), 4, 0},
      {"U+10FFFF", bytes({0xF4, 0x8F, 0xBF, 0xBF}), 4, 0},
      {"overlong NUL C0 80", bytes({0xC0, 0x80}), 0, 1},
      {"overlong C1 BF", bytes({0xC1, 0xBF}), 0, 1},
      {"overlong U+07FF in 3 bytes", bytes({0xE0, 0x9F, 0xBF}), 0, 1},
      {"overlong U+FFFF in 4 bytes", bytes({0xF0, 0x8F, 0xBF, 0xBF}), 0, 1},
      {"surrogate U+D800", bytes({0xED, 0xA0, 0x80}), 0, 1},
      {"surrogate U+DFFF", bytes({0xED, 0xBF, 0xBF}), 0, 1},
      {"above U+10FFFF", bytes({0xF4, 0x90, 0x80, 0x80}), 0, 1},
      {"F5 never starts", bytes({0xF5, 0x80, 0x80, 0x80}), 0, 1},
      {"lone continuation after text", "a" + bytes({0x80}), 1, 1},
      {"truncated 3-byte at end", "a" + bytes({0xE4, 0xB8}), 1, 0},
      {"truncated 4-byte at end", bytes({0xF0, 0x90, 0x80}), 0, 0},
      {"3-byte cut by ASCII", "a" + bytes({0xE4, 0xB8}) + "x", 1, 2},
      {"4-byte cut by ASCII", bytes({0xF0, 0x90, 0x80}) + "x", 0, 3},
      {"valid then invalid", "\xE4\xB8\xAD" + bytes({0xFF}), 3, 1},
  };
  for (const ScanCase& c : cases) {
    const Utf8Scan scan = scan_utf8(c.input);
    EXPECT_EQ(scan.valid_up_to, c.valid_up_to) << c.name;
    EXPECT_EQ(scan.error_len, c.error_len) << c.name;
    EXPECT_EQ(is_valid_utf8(c.input), c.valid_up_to == c.input.size()) << c.name;
  }
}

TEST(DecodeUtf8At, GivesCodePointOrReplacementOfOneByte) {
  struct Case {
    const char* name;
    std::string text;
    std::size_t at;
    char32_t code_point;
    std::size_t length;
  };
  const Case cases[] = {
      {"ASCII", "ab", 1, U'b', 1},
      {"U+0080", bytes({0xC2, 0x80}), 0, 0x80, 2},
      {"U+0800", bytes({0xE0, 0xA0, 0x80}), 0, 0x800, 3},
      {"U+10FFFF", bytes({0xF4, 0x8F, 0xBF, 0xBF}), 0, 0x10FFFF, 4},
      {"overlong", bytes({0xC0, 0x80}), 0, 0xFFFD, 1},
      {"surrogate", bytes({0xED, 0xA0, 0x80}), 0, 0xFFFD, 1},
      {"truncated", "x" + bytes({0xE4, 0xB8}), 1, 0xFFFD, 1},
      {"continuation", bytes({0x80}), 0, 0xFFFD, 1},
  };
  for (const Case& c : cases) {
    std::size_t length = 0;
    EXPECT_EQ(decode_utf8_at(c.text, c.at, length), c.code_point) << c.name;
    EXPECT_EQ(length, c.length) << c.name;
  }
}

struct CodePointCase {
  char32_t code_point;
  std::string utf8;
};

TEST(AppendUtf8, BoundaryCodePointsAndSurrogates) {
  const CodePointCase cases[] = {
      {0x00, bytes({0x00})},
      {0x7F, bytes({0x7F})},
      {0x80, bytes({0xC2, 0x80})},
      {0x7FF, bytes({0xDF, 0xBF})},
      {0x800, bytes({0xE0, 0xA0, 0x80})},
      {0xD800, bytes({0xED, 0xA0, 0x80})},  // WTF-8 form of a surrogate
      {0xDFFF, bytes({0xED, 0xBF, 0xBF})},
      {0xFFFF, bytes({0xEF, 0xBF, 0xBF})},
      {0x10000, bytes({0xF0, 0x90, 0x80, 0x80})},
      {0x10FFFF, bytes({0xF4, 0x8F, 0xBF, 0xBF})},
  };
  for (const CodePointCase& c : cases) {
    std::string out = "x";
    append_utf8(out, c.code_point);
    EXPECT_EQ(out, "x" + c.utf8) << std::hex << static_cast<unsigned>(c.code_point);
  }
}

struct Utf16Case {
  const char* name;
  std::u16string units;
  std::string wtf8;
  bool valid_utf16;
};

const std::vector<Utf16Case>& utf16_cases() {
  static const std::vector<Utf16Case> cases = {
      {"empty", u"", "", true},
      {"U+007F U+0080", units({0x7F, 0x80}), bytes({0x7F, 0xC2, 0x80}), true},
      {"U+07FF U+0800", units({0x7FF, 0x800}), bytes({0xDF, 0xBF, 0xE0, 0xA0, 0x80}), true},
      {"U+FFFF", units({0xFFFF}), bytes({0xEF, 0xBF, 0xBF}), true},
      {"U+10000 as a pair", units({0xD800, 0xDC00}), bytes({0xF0, 0x90, 0x80, 0x80}), true},
      {"U+10FFFF as a pair", units({0xDBFF, 0xDFFF}), bytes({0xF4, 0x8F, 0xBF, 0xBF}), true},
      {"lone high then ASCII", units({0xD83D, u'a'}), bytes({0xED, 0xA0, 0xBD, 0x61}), false},
      {"lone high at end", units({u'a', 0xDBFF}), bytes({0x61, 0xED, 0xAF, 0xBF}), false},
      {"lone low", units({0xDC00, u'b'}), bytes({0xED, 0xB0, 0x80, 0x62}), false},
      {"low then high is two lone units", units({0xDE00, 0xD83D}), bytes({0xED, 0xB8, 0x80, 0xED, 0xA0, 0xBD}), false},
      {"two highs then a low: lone, then a pair", units({0xD800, 0xD800, 0xDC00}),
       bytes({0xED, 0xA0, 0x80, 0xF0, 0x90, 0x80, 0x80}), false},
      {"Chinese", u"中文", "中文", true},
  };
  return cases;
}

TEST(Utf16ToWtf8, LoneSurrogatesGetTheirOwnThreeBytes) {
  for (const Utf16Case& c : utf16_cases()) {
    std::string out;
    append_wtf8_from_utf16(out, c.units);
    EXPECT_EQ(out, c.wtf8) << c.name;
  }
}

TEST(Utf16ToUtf8, StrictDecodingStopsAtALoneSurrogate) {
  for (const Utf16Case& c : utf16_cases()) {
    std::string out;
    EXPECT_EQ(append_utf8_from_utf16(out, c.units), c.valid_utf16) << c.name;
    if (c.valid_utf16) {
      EXPECT_EQ(out, c.wtf8) << c.name;
    }
  }
}

TEST(Wtf8ToUtf16, GivesBackTheUnits) {
  for (const Utf16Case& c : utf16_cases()) {
    std::u16string out;
    append_utf16_from_wtf8(out, c.wtf8);
    EXPECT_EQ(out, c.units) << c.name;
  }
}

TEST(Wtf8ToUtf16, EveryUnitAndEveryPairRoundTrips) {
  for (std::uint32_t unit = 0; unit <= 0xFFFF; ++unit) {
    const std::u16string one(1, static_cast<char16_t>(unit));
    std::string wtf8;
    append_wtf8_from_utf16(wtf8, one);
    std::u16string back;
    append_utf16_from_wtf8(back, wtf8);
    ASSERT_EQ(back, one) << std::hex << unit;
  }
  for (std::uint32_t high = 0xD800; high <= 0xDBFF; high += 0x3F) {
    for (std::uint32_t low = 0xDC00; low <= 0xDFFF; low += 0x3F) {
      const std::u16string pair = {static_cast<char16_t>(high), static_cast<char16_t>(low)};
      std::string wtf8;
      append_wtf8_from_utf16(wtf8, pair);
      ASSERT_EQ(wtf8.size(), 4u);
      std::u16string back;
      append_utf16_from_wtf8(back, wtf8);
      ASSERT_EQ(back, pair) << std::hex << high << ' ' << low;
    }
  }
}

TEST(Wtf8ToUtf16, EachBadByteBecomesOneReplacement) {
  struct Case {
    const char* name;
    std::string wtf8;
    std::u16string units;
  };
  const Case cases[] = {
      {"overlong C0 80", bytes({0xC0, 0x80}), units({0xFFFD, 0xFFFD})},
      {"overlong E0 80 80", bytes({0xE0, 0x80, 0x80}), units({0xFFFD, 0xFFFD, 0xFFFD})},
      {"overlong F0 8F BF BF", bytes({0xF0, 0x8F, 0xBF, 0xBF}), units({0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD})},
      {"above U+10FFFF", bytes({0xF4, 0x90, 0x80, 0x80}), units({0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD})},
      {"truncated at end", "a" + bytes({0xE4, 0xB8}), units({u'a', 0xFFFD, 0xFFFD})},
      {"truncated before ASCII", bytes({0xF0, 0x9F, 0x98}) + "z", units({0xFFFD, 0xFFFD, 0xFFFD, u'z'})},
      {"lone continuation", bytes({0x80, 0x41}), units({0xFFFD, u'A'})},
      {"FF", bytes({0xFF}), units({0xFFFD})},
  };
  for (const Case& c : cases) {
    std::u16string out;
    append_utf16_from_wtf8(out, c.wtf8);
    EXPECT_EQ(out, c.units) << c.name;
  }
}

}  // namespace
}  // namespace vant
