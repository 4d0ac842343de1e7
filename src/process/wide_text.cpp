#include "process/wide_text.h"

#include "platform/unicode.h"

namespace vant {

std::expected<WideText, SystemError> to_wide_text(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) return std::unexpected(errors::nul_in_wide_text);
  WideText units;
  units.reserve(text.size());
  append_utf16_from_wtf8(units, text);
  return units;
}

}  // namespace vant
