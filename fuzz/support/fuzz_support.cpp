#include "support/fuzz_support.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>

#include "console/output.h"
#include "console/stdin_line.h"
#include "fake_windows.h"
#include "paths/path_text.h"
#include "platform/clock.h"
#include "platform/fail_fast.h"
#include "process_reset.h"

namespace vant::fuzz {
namespace {

char hex_digit(unsigned value) { return "0123456789ABCDEF"[value & 0xF]; }

}  // namespace

void property_failed(const char* condition, const char* file, int line, const std::string& context) {
  std::fprintf(stderr, "\n==== property failed: %s\n     at %s:%d\n%s\n", condition, file, line, context.c_str());
  std::fflush(stderr);
  std::abort();
}

FreshProcess::FreshProcess() { testing::reset_process(); }
FreshProcess::~FreshProcess() { testing::reset_process(); }

bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

namespace {

// Calls `emit(code point, lone)` for each pair or unit.
template <typename Emit>
void for_each_code_point(std::u16string_view units, Emit emit) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (is_high_surrogate(unit) && i + 1 < units.size() && is_low_surrogate(units[i + 1])) {
      emit(0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(units[i + 1]) - 0xDC00), false);
      ++i;
    } else {
      emit(char32_t(unit), is_high_surrogate(unit) || is_low_surrogate(unit));
    }
  }
}

}  // namespace

std::string wtf8_of(std::u16string_view units) {
  std::string out;
  for_each_code_point(units, [&](char32_t c, bool) { append_utf8(out, c); });
  return out;
}

std::string utf8_replacing_lone_surrogates(std::u16string_view units) {
  std::string out;
  for_each_code_point(units, [&](char32_t c, bool lone) { append_utf8(out, lone ? U'\uFFFD' : c); });
  return out;
}

bool decode_utf8(std::string_view bytes, std::size_t i, char32_t& code_point, std::size_t& length) {
  length = 0;
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  const unsigned char first = byte(i);
  std::size_t n = 0;
  char32_t c = 0;
  if (first < 0x80) {
    code_point = first;
    length = 1;
    return true;
  }
  if ((first & 0xE0) == 0xC0) {
    n = 2;
    c = first & 0x1F;
  } else if ((first & 0xF0) == 0xE0) {
    n = 3;
    c = first & 0x0F;
  } else if ((first & 0xF8) == 0xF0) {
    n = 4;
    c = first & 0x07;
  } else {
    return false;
  }
  if (i + n > bytes.size()) return false;
  for (std::size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return false;
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  // Decode first, then judge the value: the shortest form only, no
  // surrogates, nothing above U+10FFFF.
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kSmallest[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
  code_point = c;
  length = n;
  return true;
}

std::size_t utf8_valid_prefix(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    char32_t c = 0;
    std::size_t length = 0;
    if (!decode_utf8(bytes, i, c, length)) break;
    i += length;
  }
  return i;
}

std::u16string utf16_of_utf8(std::string_view utf8) {
  std::u16string out;
  for (const char32_t c : code_points_replacing(utf8)) {
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::u32string code_points_replacing(std::string_view bytes) {
  std::u32string out;
  std::size_t i = 0;
  while (i < bytes.size()) {
    char32_t c = 0;
    std::size_t length = 0;
    if (decode_utf8(bytes, i, c, length)) {
      out += c;
      i += length;
    } else {
      out += U'\uFFFD';
      ++i;
    }
  }
  return out;
}

namespace {

// Long texts are shown by their two ends.
constexpr std::size_t kShownEnds = 80;

template <typename Text, typename ShowOne>
std::string show_ends(Text text, const char* unit_name, ShowOne show_one) {
  std::string out = "[";
  const bool long_text = text.size() > 2 * kShownEnds + 20;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (long_text && i == kShownEnds) {
      out += "...";
      i = text.size() - kShownEnds;
    }
    show_one(out, text[i]);
  }
  return out + "] (" + std::to_string(text.size()) + " " + unit_name + ")";
}

}  // namespace

std::string show(std::u16string_view units) {
  return show_ends(units, "units", [](std::string& out, char16_t unit) {
    if (unit >= 0x20 && unit < 0x7F) {
      out += static_cast<char>(unit);
    } else {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += hex_digit(unit >> shift);
    }
  });
}

std::string show(std::string_view bytes) {
  return show_ends(bytes, "bytes", [](std::string& out, char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      out += c;
    } else {
      out += "\\x";
      out += hex_digit(byte >> 4);
      out += hex_digit(byte);
    }
  });
}

namespace {

template <typename View>
std::string difference_of(View got, View expected) {
  std::size_t at = 0;
  while (at < got.size() && at < expected.size() && got[at] == expected[at]) ++at;
  const std::size_t from = at > 8 ? at - 8 : 0;
  return "got      " + show(got) + "\nexpected " + show(expected) + "\nfirst difference at " + std::to_string(at) +
         ": got " + show(got.substr(std::min(from, got.size()), 24)) + " expected " +
         show(expected.substr(std::min(from, expected.size()), 24));
}

}  // namespace

std::string show_difference(std::u16string_view got, std::u16string_view expected) {
  return difference_of(got, expected);
}
std::string show_difference(std::string_view got, std::string_view expected) { return difference_of(got, expected); }

std::string show(const std::vector<std::u16string>& texts) {
  std::string out;
  for (const std::u16string& text : texts) out += "  " + show(text) + "\n";
  return out;
}

namespace {

// What bytes 80-FD stand for in the unit-text format: the units and runs
// that the rules of quoting, joining, splitting and converting turn on.
const std::array<std::u16string, 40>& units_of_interest() {
  static const std::array<std::u16string, 40> kUnitsOfInterest = {u" ",
                                                                  u"\t",
                                                                  u"\"",
                                                                  u"\\",
                                                                  u"\\\\",
                                                                  u"\\\\\\",
                                                                  u"\\\"",
                                                                  u"/",
                                                                  u":",
                                                                  u";",
                                                                  u"C:",
                                                                  u"C:\\",
                                                                  u"\\\\?\\",
                                                                  u"\\\\?\\UNC\\",
                                                                  u"\\\\?\\C:\\",
                                                                  u"\\\\.\\",
                                                                  u"\\??\\",
                                                                  u".",
                                                                  u"..",
                                                                  u"\\\\server\\share\\",
                                                                  u"\u4E2D",
                                                                  u"\u6587",
                                                                  u"\U0001F600",
                                                                  u"\U00010000",
                                                                  u"\U0010FFFF",
                                                                  u"\u00E9",
                                                                  u"\u07FF",
                                                                  u"\u0800",
                                                                  u"\uFFFD",
                                                                  u"\uFFFF",
                                                                  std::u16string(1, char16_t(0xD800)),
                                                                  std::u16string(1, char16_t(0xDBFF)),
                                                                  std::u16string(1, char16_t(0xDC00)),
                                                                  std::u16string(1, char16_t(0xDFFF)),
                                                                  std::u16string(1, char16_t(0)),
                                                                  u"\n",
                                                                  u"\r\n",
                                                                  u"\x1A",
                                                                  u"\u0301",
                                                                  u"\u2028"};
  return kUnitsOfInterest;
}

}  // namespace

std::vector<std::u16string> read_unit_texts(const std::uint8_t* data, std::size_t size) {
  std::vector<std::u16string> texts(1);
  const auto& table = units_of_interest();
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t byte = data[i];
    if (byte < 0x80) {
      texts.back() += static_cast<char16_t>(byte);
    } else if (byte == 0xFE) {
      texts.emplace_back();
    } else if (byte == 0xFF) {
      if (i + 2 >= size) break;
      texts.back() += static_cast<char16_t>((data[i + 1] << 8) | data[i + 2]);
      i += 2;
    } else {
      texts.back() += table[(byte - 0x80) % table.size()];
    }
  }
  return texts;
}

}  // namespace vant::fuzz
