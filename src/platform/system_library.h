// Libraries the program loads itself, from the system folder only (see
// library_search.h for why), and their functions. A file of its own, apart
// from library_search.cpp, so that a program that loads no library (the
// exe without an installer signer) links none of this.
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
