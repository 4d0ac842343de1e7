#include "paths/path_text.h"

#include <cstdint>

#include "platform/unicode.h"

namespace vant {

PathText path_from_wide(std::span<const char16_t> units) {
  std::string bytes;
  bytes.reserve(units.size());
  append_wtf8_from_utf16(bytes, units);
  return PathText::from_wtf8(std::move(bytes));
}

// An encoded lone surrogate is ED A0..BF xx; in its place goes U+FFFD,
// EF BF BD, also three bytes. Example: 61 ED A0 BD 62 -> 61 EF BF BD 62.
std::string path_display_text(const PathText& path) {
  std::string text = path.bytes();
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
