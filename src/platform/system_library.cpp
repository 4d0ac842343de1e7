#include "platform/system_library.h"

namespace vant {

std::expected<win::HMODULE, SystemError> load_system_library(const char16_t* name) {
  // The flag on the call, not only the default search set at the start of
  // the run: the load does not depend on that call, and some loaders
  // (Wine's) apply the default to fewer loads. A bare name with this flag
  // looks in the system folder alone, for the library and for the
  // libraries it imports.
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
