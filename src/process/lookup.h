// Which file runs for a program name. The result goes to CreateProcessW as
// the application name, so Windows does no search of its own: the order is
// decided here. For a bare name such as "curl" the system folder comes first
// (for a 32-bit program on 64-bit Windows, the native one before it), then
// the folder of this program, the Windows folder and the PATH entries; the
// current folder is not searched unless PATH names it.
//
// The system's own copy comes before one beside this program: the program
// usually runs from the Downloads folder, where any web page can leave a
// file named curl.exe, and it may run elevated. A copy beside the program
// still serves a system that has none. An elevated run looks only in the
// folders that only administrators can change (ProgramSearch).
#pragma once

#include <expected>
#include <optional>
#include <string_view>

#include "paths/windows_path.h"
#include "platform/system_error.h"
#include "process/search_path.h"

namespace vant {

// Where a bare name is looked for.
enum class ProgramSearch {
  // The native system folder (a 32-bit program on 64-bit Windows only), the
  // system folder, this program's folder, the Windows folder, then PATH.
  Everywhere,
  // Only the native system folder, the system folder and the Windows
  // folder: for a program started with an administrator's rights. This
  // program's folder (usually Downloads) and PATH (the user's own
  // environment) can be changed by any unelevated program of the user.
  AdministratorFolders,
};

// The executable for `program` (WTF-8: a bare name or a path).
// - A path (it holds '\' or '/') is not searched: one ending in .exe is
//   taken as it is, without an existence test; otherwise path + ".exe" is
//   taken if it exists, else the path as it is.
// - A bare name is looked up in the folders above, with ".exe" appended
//   when it has no '.'; "program not found" when no folder of `search`
//   has it.
// Errors: "program path has no file name" for an empty text or one ending
// in a separator, "nul byte found in provided data" for a bare name with a
// NUL, the errors of to_windows_path for a path.
std::expected<WideText, SystemError> resolve_program(std::string_view program,
                                                     ProgramSearch search = ProgramSearch::Everywhere);

// The candidate's Windows path if something of that name exists (a folder
// counts); nothing otherwise, also when the candidate cannot be converted.
std::optional<WideText> program_exists(std::string_view candidate);

}  // namespace vant
