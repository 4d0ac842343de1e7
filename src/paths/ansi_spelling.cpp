#include "paths/ansi_spelling.h"

#include <string>

#include "platform/unicode.h"
#include "platform/win_api.h"

namespace vant {

std::expected<bool, SystemError> spelt_exactly_in_ansi_code_page(const PathText& path) {
  // A path text is WTF-8: it is UTF-8 unless it holds a lone surrogate.
  if (!is_valid_utf8(path.bytes())) return false;
  std::u16string units;
  append_utf16_from_wtf8(units, path.bytes());
  // WideCharToMultiByte refuses an empty input; nothing to spell is exact.
  if (units.empty()) return true;
  // Decided before converting: with a UTF-8 ANSI code page, CP_ACP is UTF-8's
  // conversion, which refuses WC_NO_BEST_FIT_CHARS (ERROR_INVALID_FLAGS)
  // and a used-default flag (ERROR_INVALID_PARAMETER). It spells every
  // character, so there is nothing to ask.
  if (win::GetACP() == win::CP_UTF8) return true;

  // WC_NO_BEST_FIT_CHARS: without it a character the code page lacks may
  // become a look-alike (ā -> a in 1252) with no sign that anything was
  // replaced, and the receiving program would open another name. The size
  // query reports a default character as the conversion itself would, so
  // no buffer is needed.
  win::BOOL used_default = 0;
  // A path has at most 32,767 units: its length fits the int.
  if (win::WideCharToMultiByte(win::CP_ACP, win::WC_NO_BEST_FIT_CHARS, units.data(), static_cast<int>(units.size()),
                               nullptr, 0, nullptr, &used_default) <= 0) {
    return std::unexpected(SystemError::from_last_error());
  }
  return used_default == 0;
}

}  // namespace vant
