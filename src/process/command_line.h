// The command line of a child process. Windows hands a child one string,
// which the child's C runtime (or CommandLineToArgvW) splits into arguments
// again; the string is built so that each argument comes back exactly.
#pragma once

#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "paths/path_text.h"
#include "platform/system_error.h"

namespace vant {

// "program" followed by each argument after one space. The program text is
// always quoted and never escaped (the child reads its first argument up to
// the next quote, without escapes), so it must not hold a '"'.
// Texts are WTF-8: a lone surrogate of a path goes out as that unit again.
// Example: curl, [-o, C:\A B\x.exe] -> "curl" -o "C:\A B\x.exe"
// Errors: "nul byte found in provided data" for a NUL anywhere; "Windows
// file names may not contain `"` or end with `\`" for a '"' in the program.
std::expected<std::u16string, SystemError> build_command_line(std::string_view program,
                                                              std::span<const PathText> arguments);

// Appends one argument, quoted when it is empty or holds a space or tab;
// a '"' gets a backslash, and the backslashes before a '"' (or before the
// closing quote) are doubled. On error nothing is appended.
// Examples:  a\b -> a\b;  a\"b -> a\\\"b;  say "hi" -> "say \"hi\"";
//            C:\dir with space\ -> "C:\dir with space\\";  (empty) -> "".
std::expected<void, SystemError> append_argument(std::u16string& command_line, std::string_view argument);

}  // namespace vant
