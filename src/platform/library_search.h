// Where every library load of the process looks: only in the system folder.
// The program's own folder is usually Downloads, where any web page can
// leave a file named like a system library (version.dll, wintrust.dll), and
// Windows looks there first for any library that is not one of its
// KnownDLLs; the program may run with an administrator's rights.
#pragma once

namespace vant {

// From here on, a library load of this process that does not say where to
// look (a system library loading a helper, a delay-loaded import) looks
// only in the system folder. Ends the process as an internal failure if
// Windows refuses, which it does only for flags it does not know.
void search_libraries_in_system_folder_only();

}  // namespace vant
