#include "platform/system_library.h"

#include "platform/fail_fast.h"

namespace vant {

void search_libraries_in_system_folder_only() {
  // Every Windows 10 has the call and knows the flag, so a refusal means
  // the system is not what the program was built for: it stops before
  // anything else runs rather than go on with loads that may look in its
  // own folder.
  if (!win::SetDefaultDllDirectories(win::LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    internal_failure_unwrap(SystemError::from_last_error());
  }
}

std::expected<win::HMODULE, SystemError> load_system_library(const char16_t* name) {
  // The flag, not only the default set above: the load does not depend on
  // that call, and some loaders (Wine's) apply the default to fewer loads.
  // A bare name with this flag looks in the system folder alone, for the
  // library and for the libraries it imports.
  const win::HMODULE library = win::LoadLibraryExW(name, win::NULL_HANDLE, win::LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (library == win::NULL_MODULE) return std::unexpected(SystemError::from_last_error());
  return library;
}

std::expected<win::FARPROC, SystemError> find_function(win::HMODULE library, const char* name) {
  const win::FARPROC function = win::GetProcAddress(library, name);
  if (function == win::NULL_PROC) return std::unexpected(SystemError::from_last_error());
  return function;
}

}  // namespace vant
