// The form in which a path is handed to Windows' file functions.
#pragma once

#include <expected>
#include <string_view>

#include "platform/system_error.h"
#include "process/wide_text.h"

namespace vant {

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
std::expected<WideText, SystemError> to_platform_path(std::string_view path);

}  // namespace vant
