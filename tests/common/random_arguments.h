// Random program texts and argument lists for command-line round trips,
// shared by the native test and the one under Wine so that both draw from
// the same kinds of text: spaces, tabs, quotes, runs of backslashes (before
// quotes and at the end), empty arguments, Chinese, surrogate pairs and
// lone surrogates, line breaks.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace vant::testing {

class RandomArguments {
 public:
  explicit RandomArguments(std::uint64_t seed) : random_(seed) {}

  // Zero to eight arguments; any of them may be empty.
  std::vector<std::u16string> arguments() {
    std::vector<std::u16string> list(pick(9));
    for (std::u16string& argument : list) argument = text(pick(4) == 0 ? 0 : 1 + pick(12));
    return list;
  }

  // A program text as a caller could give it: not empty, without '"' or
  // NUL (which no file name holds).
  std::u16string program() {
    std::u16string program;
    while (program.empty()) {
      for (char16_t unit : text(1 + pick(10))) {
        if (unit != u'"') program.push_back(unit);
      }
    }
    return program;
  }

 private:
  std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }

  std::u16string text(std::size_t pieces) {
    static const std::u16string kPieces[] = {
        u" ",
        u"\t",
        u"\"",
        u"\\",
        u"\\\\",
        u"\\\\\\",
        u"\\\"",
        u"a",
        u"b",
        u"-o",
        u"C:",
        u"\u4E2D\u6587",
        u"\U0001F600",
        u"\n",
        u"\r",
        u"'",
        u"\u00E9",
        u"\u07FF",
        u"\u0800",
        u"\uFFFD",
        u"=",
        u"%PATH%",
        u"^",
        u"&",
        std::u16string(1, char16_t(0xD800)),
        std::u16string(1, char16_t(0xDBFF)),
        std::u16string(1, char16_t(0xDC00)),
        std::u16string(1, char16_t(0xDFFF)),
    };
    std::u16string out;
    for (std::size_t i = 0; i < pieces; ++i) out += kPieces[pick(std::size(kPieces))];
    return out;
  }

  std::mt19937_64 random_;
};

// The seed of a run: VANT_PROPERTY_SEED when set (to repeat a failure),
// else a fixed one so that every run checks the same cases.
inline std::uint64_t property_seed() {
  if (const char* text = std::getenv("VANT_PROPERTY_SEED")) return std::strtoull(text, nullptr, 0);
  return 0x5EED'C0DE'2026ull;
}

// Units as text for a failure message: printable ASCII as it is, every
// other unit as \uXXXX.
inline std::string describe(const std::u16string& units) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "[";
  for (char16_t unit : units) {
    if (unit >= 0x20 && unit < 0x7F) {
      out.push_back(static_cast<char>(unit));
    } else {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(unit >> shift) & 0xF]);
    }
  }
  return out + "]";
}

}  // namespace vant::testing
