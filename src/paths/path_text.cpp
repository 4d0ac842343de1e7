#include "paths/path_text.h"

#include "platform/unicode.h"

namespace vant {

PathText path_from_wide(std::span<const char16_t> units) {
  std::string bytes;
  bytes.reserve(units.size());
  append_wtf8_from_utf16(bytes, units);
  return PathText::from_wtf8(std::move(bytes));
}

}  // namespace vant
