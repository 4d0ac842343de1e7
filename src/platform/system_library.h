// Libraries the program loads itself, from the system folder only
// (library_search.h says why), and their functions: wintrust and crypt32
// for the signer check, bcrypt for the random generator.
#pragma once

#include <expected>

#include "platform/system_error.h"
#include "platform/win_api.h"

namespace vant {

// Loads the library `name` (a bare file name such as u"wintrust.dll") from
// the system folder and nowhere else, whatever the default search. Never
// freed: the process keeps it until it ends. Errors: LoadLibraryExW's
// (ERROR_MOD_NOT_FOUND when the system folder has no such library).
std::expected<win::HMODULE, SystemError> load_system_library(const char16_t* name);

// The address of the function `name` exported by `library`. Errors:
// GetProcAddress's (ERROR_PROC_NOT_FOUND when there is no such export).
std::expected<win::FARPROC, SystemError> find_function(win::HMODULE library, const char* name);

}  // namespace vant
