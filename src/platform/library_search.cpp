#include "platform/library_search.h"

#include "platform/fail_fast.h"
#include "platform/system_error.h"
#include "platform/win_api.h"

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

}  // namespace vant
