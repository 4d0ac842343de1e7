// The PATH variable's list of folders.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vant {

// Splits a PATH value at semicolons outside double quotes; the quotes
// themselves are dropped. Entries are neither trimmed nor expanded, and
// empty ones are kept (the caller skips them).
// Example: C:\a;"C:\b;c";;C:\d -> C:\a | C:\b;c | (empty) | C:\d
std::vector<std::u16string> split_search_path(std::u16string_view value);

}  // namespace vant
