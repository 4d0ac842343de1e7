#include "platform/unicode.h"

namespace vant {
namespace {

bool is_continuation(std::uint8_t byte) { return (byte & 0xC0) == 0x80; }

// Allowed range of the second byte for a first byte, per the Unicode
// well-formed byte sequence table: this is what rules out overlong forms,
// surrogates and values above U+10FFFF.
bool second_byte_ok(std::uint8_t first, std::uint8_t second) {
  switch (first) {
    case 0xE0: return second >= 0xA0 && second <= 0xBF;
    case 0xED: return second >= 0x80 && second <= 0x9F;
    case 0xF0: return second >= 0x90 && second <= 0xBF;
    case 0xF4: return second >= 0x80 && second <= 0x8F;
    default: return is_continuation(second);
  }
}

}  // namespace

int utf8_sequence_width(std::uint8_t first) {
  if (first <= 0x7F) return 1;
  if (first >= 0xC2 && first <= 0xDF) return 2;
  if (first >= 0xE0 && first <= 0xEF) return 3;
  if (first >= 0xF0 && first <= 0xF4) return 4;
  return 0;
}

Utf8Scan scan_utf8(std::string_view bytes) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const std::size_t size = bytes.size();
  std::size_t i = 0;
  while (i < size) {
    const std::uint8_t first = data[i];
    const int width = utf8_sequence_width(first);
    if (width == 0) return {i, 1};
    if (width == 1) {
      ++i;
      continue;
    }
    // Check as many following bytes as are present; running out of bytes
    // before a bad one is an incomplete end, not an error.
    for (int k = 1; k < width; ++k) {
      if (i + k >= size) return {i, 0};
      const std::uint8_t byte = data[i + k];
      const bool ok = (k == 1) ? second_byte_ok(first, byte) : is_continuation(byte);
      if (!ok) return {i, static_cast<std::size_t>(k)};
    }
    i += static_cast<std::size_t>(width);
  }
  return {size, 0};
}

bool is_valid_utf8(std::string_view bytes) {
  const Utf8Scan scan = scan_utf8(bytes);
  return scan.valid_up_to == bytes.size();
}

char32_t decode_utf8_at(std::string_view text, std::size_t i, std::size_t& length) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(text.data()) + i;
  const int width = utf8_sequence_width(p[0]);
  if (width == 0 || scan_utf8(text.substr(i, static_cast<std::size_t>(width))).valid_up_to == 0) {
    length = 1;
    return 0xFFFD;
  }
  length = static_cast<std::size_t>(width);
  switch (width) {
    case 1: return p[0];
    case 2: return static_cast<char32_t>(((p[0] & 0x1Fu) << 6) | (p[1] & 0x3Fu));
    case 3: return static_cast<char32_t>(((p[0] & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu));
    default:
      return static_cast<char32_t>(((p[0] & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) |
                                   (p[3] & 0x3Fu));
  }
}

void append_utf8(std::string& out, char32_t code_point) {
  const auto c = static_cast<std::uint32_t>(code_point);
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

namespace {

// Walks UTF-16 units, calling `pair` for a surrogate pair's code point and
// `single` for any other unit (lone surrogates included). Returns early with
// false when `single` does.
template <typename Single, typename Pair>
bool walk_utf16(std::span<const char16_t> units, Single single, Pair pair) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (is_high_surrogate(unit) && i + 1 < units.size() && is_low_surrogate(units[i + 1])) {
      pair(static_cast<char32_t>(0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00)));
      ++i;
    } else if (!single(unit)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool append_utf8_from_utf16(std::string& out, std::span<const char16_t> units) {
  return walk_utf16(
      units,
      [&](char16_t unit) {
        if (is_high_surrogate(unit) || is_low_surrogate(unit)) return false;
        append_utf8(out, unit);
        return true;
      },
      [&](char32_t code_point) { append_utf8(out, code_point); });
}

void append_wtf8_from_utf16(std::string& out, std::span<const char16_t> units) {
  walk_utf16(
      units,
      [&](char16_t unit) {
        append_utf8(out, unit);
        return true;
      },
      [&](char32_t code_point) { append_utf8(out, code_point); });
}

void append_utf16_from_wtf8(std::u16string& out, std::string_view text) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::size_t size = text.size();
  std::size_t i = 0;
  while (i < size) {
    const std::uint8_t first = data[i];
    const int width = utf8_sequence_width(first);
    bool ok = width > 0 && i + static_cast<std::size_t>(width) <= size;
    for (int k = 1; ok && k < width; ++k) {
      const std::uint8_t byte = data[i + k];
      // WTF-8 allows ED A0..BF (encoded surrogates), so only the UTF-8
      // rules other than the surrogate exclusion apply.
      ok = (k == 1 && first != 0xED) ? second_byte_ok(first, byte) : is_continuation(byte);
    }
    if (!ok) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    std::uint32_t c = 0;
    switch (width) {
      case 1: c = first; break;
      case 2: c = ((first & 0x1Fu) << 6) | (data[i + 1] & 0x3Fu); break;
      case 3: c = ((first & 0x0Fu) << 12) | ((data[i + 1] & 0x3Fu) << 6) | (data[i + 2] & 0x3Fu); break;
      default:
        c = ((first & 0x07u) << 18) | ((data[i + 1] & 0x3Fu) << 12) | ((data[i + 2] & 0x3Fu) << 6) |
            (data[i + 3] & 0x3Fu);
        break;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += static_cast<std::size_t>(width);
  }
}

// An encoded lone surrogate is ED A0..BF xx; in its place goes U+FFFD,
// EF BF BD, also three bytes. Example: 61 ED A0 BD 62 -> 61 EF BF BD 62.
std::string utf8_for_display(std::string_view wtf8) {
  std::string text(wtf8);
  for (std::size_t i = 0; i + 2 < text.size(); ++i) {
    if (static_cast<std::uint8_t>(text[i]) == 0xED && static_cast<std::uint8_t>(text[i + 1]) >= 0xA0) {
      text[i] = static_cast<char>(0xEF);
      text[i + 1] = static_cast<char>(0xBF);
      text[i + 2] = static_cast<char>(0xBD);
      i += 2;
    }
  }
  return text;
}

}  // namespace vant
