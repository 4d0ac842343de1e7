// Libraries come from the system folder only; this is the one place that
// says why. The program usually runs from Downloads, where any web page can
// leave a file named like a system library (version.dll, wintrust.dll), and
// after a UAC prompt it runs as an administrator. Windows looks in the
// program's own folder first for any library that is not a KnownDLL, and
// loads an imported one before the program's first line. So:
// - the exe imports only KnownDLLs: kernel32, ntdll, msvcrt, advapi32
//   (tests/windows/static/check_imports.sh holds it to that);
// - the run's first act is the call below, for the loads that system
//   libraries make on the program's behalf;
// - every library the program loads itself (wintrust, crypt32, bcrypt) is
//   loaded by bare name with LOAD_LIBRARY_SEARCH_SYSTEM32 on the call
//   (system_library.h).
#pragma once

namespace vant {

// From here on, a library load of this process that does not say where to
// look (a system library loading a helper, a delay-loaded import) looks
// only in the system folder. Ends the process as an internal failure if
// Windows refuses, which it does only for flags it does not know.
void search_libraries_in_system_folder_only();

}  // namespace vant
