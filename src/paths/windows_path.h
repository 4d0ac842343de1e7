// Paths as Windows takes them: NUL-terminated UTF-16, absolute, and with
// the long-path prefix where a plain path would stop working. Every path the
// program hands to a Windows file or process function is made here.
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

// The absolute form of `path` as Windows computes it (GetFullPathNameW:
// against the current folder, with "." and ".." resolved and '/' turned
// into '\'). A failure is the call's own error code.
std::expected<WideText, SystemError> full_path_name(const WideText& path);

// A path text (WTF-8) as a UTF-16 path for Windows:
// - a verbatim drive or UNC path (\\?\C:\..., \\?\UNC\...) of at most 260
//   units with its terminator loses its \\?\ when Windows would read the
//   plain form as the same path;
// - a path of 248 units or more (with terminator), made absolute, gets the
//   long-path prefix, because plain paths stop working near 260 units;
// - a shorter absolute path is passed as it is; a shorter relative one is
//   made absolute.
// Example: \\?\C:\Temp\a.exe -> C:\Temp\a.exe; \\.\pipe\x (long) -> \\?\pipe\x;
//          \\server\share\<long> -> \\?\UNC\server\share\<long>.
std::expected<WideText, SystemError> to_windows_path(std::string_view path);

}  // namespace vant
