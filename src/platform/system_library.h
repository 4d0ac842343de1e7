// Libraries the program loads itself, and where every library load of the
// process looks: only in the system folder. The program's own folder is
// usually Downloads, where any web page can leave a file named like a
// system library (version.dll, wintrust.dll), and Windows looks there first
// for any library that is not one of its KnownDLLs; the program may run
// with an administrator's rights.
#pragma once

#include <expected>

#include "platform/system_error.h"
#include "platform/win_api.h"

namespace vant {

// From here on, a library load of this process that does not say where to
// look (a system library loading a helper, a delay-loaded import) looks
// only in the system folder. Ends the process as an internal failure if
// Windows refuses, which it does only for flags it does not know.
void search_libraries_in_system_folder_only();

// Loads the library `name` (a bare file name such as u"wintrust.dll") from
// the system folder and nowhere else, whatever the default above. Never
// freed: the process keeps it until it ends. Errors: LoadLibraryExW's
// (ERROR_MOD_NOT_FOUND when the system folder has no such library).
std::expected<win::HMODULE, SystemError> load_system_library(const char16_t* name);

// The address of the function `name` exported by `library`. Errors:
// GetProcAddress's (ERROR_PROC_NOT_FOUND when there is no such export).
std::expected<win::FARPROC, SystemError> find_function(win::HMODULE library, const char* name);

}  // namespace vant
