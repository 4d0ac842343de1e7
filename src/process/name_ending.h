// Case-insensitive tests of a file name's ending, for ASCII endings such as
// ".exe" and ".bat".
#pragma once

#include <string_view>

namespace vant {

// `ending` is lower-case ASCII. Example: ("C:\\A.EXE", ".exe") -> true;
// ("curl", ".exe") -> false.
bool ends_with_ascii_nocase(std::string_view text, std::string_view ending);
bool ends_with_ascii_nocase(std::u16string_view text, std::string_view ending);

// Whether Windows would run the file through the command interpreter: its
// name ends in .bat or .cmd, in any case.
bool is_batch_script_name(std::u16string_view full_path);

}  // namespace vant
