// Text handed to Windows as a NUL-terminated UTF-16 string.
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "platform/system_error.h"

namespace vant {

// A path or name as Windows takes it: UTF-16 units; the terminating NUL is
// the string's own (c_str()), so size() does not count it.
using WideText = std::u16string;

// WTF-8 (or UTF-8) text to UTF-16 units. An encoded lone surrogate becomes
// that unit again. A NUL would cut the string short where Windows reads it,
// so it is refused.
// Example: "C:\\" E4 B8 AD -> u"C:\\\u4E2D"; "a\0b" -> error.
std::expected<WideText, SystemError> to_wide_text(std::string_view text);

}  // namespace vant
