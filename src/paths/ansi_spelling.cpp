#include "paths/ansi_spelling.h"

#include <limits>
#include <string>
#include <string_view>

#include "platform/unicode.h"
#include "platform/win_api.h"

namespace vant {
namespace {

bool has_lone_surrogate(std::u16string_view units) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (is_high_surrogate(units[i]) && i + 1 < units.size() && is_low_surrogate(units[i + 1])) {
      ++i;
    } else if (is_high_surrogate(units[i]) || is_low_surrogate(units[i])) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::expected<bool, SystemError> spelt_exactly_in_ansi_code_page(const PathText& path) {
  std::u16string units;
  append_utf16_from_wtf8(units, path.bytes());
  // WideCharToMultiByte refuses an empty input; nothing to spell is exact.
  if (units.empty()) return true;
  if (has_lone_surrogate(units)) return false;
  // Too long to be asked about in one call: not known to be exact.
  if (units.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return false;
  // Decided before converting: with a UTF-8 ANSI code page, CP_ACP is UTF-8's
  // conversion, which refuses WC_NO_BEST_FIT_CHARS (ERROR_INVALID_FLAGS)
  // and a used-default flag (ERROR_INVALID_PARAMETER). It spells every
  // character, so there is nothing to ask.
  if (win::GetACP() == win::CP_UTF8) return true;

  // WC_NO_BEST_FIT_CHARS: without it a character the code page lacks may
  // become a look-alike (ā -> a in 1252) with no sign that anything was
  // replaced, and the receiving program would open another name.
  const int count = static_cast<int>(units.size());
  const int size =
      win::WideCharToMultiByte(win::CP_ACP, win::WC_NO_BEST_FIT_CHARS, units.data(), count, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::unexpected(SystemError::from_last_error());
  // The flag is read from the conversion itself: Windows does not document
  // it for the size query.
  std::string bytes(static_cast<std::size_t>(size), '\0');
  win::BOOL used_default = 0;
  const int written = win::WideCharToMultiByte(win::CP_ACP, win::WC_NO_BEST_FIT_CHARS, units.data(), count,
                                               bytes.data(), size, nullptr, &used_default);
  if (written <= 0) return std::unexpected(SystemError::from_last_error());
  return used_default == 0;
}

}  // namespace vant
