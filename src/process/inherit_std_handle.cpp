#include "process/inherit_std_handle.h"

namespace vant {

std::expected<OwnedHandle, SystemError> inherit_std_handle(win::DWORD id) {
  const win::HANDLE handle = win::GetStdHandle(id);
  if (OwnedHandle::is_none(handle)) return OwnedHandle();

  const win::HANDLE self = win::GetCurrentProcess();
  win::HANDLE duplicate = win::NULL_HANDLE;
  if (!win::DuplicateHandle(self, handle, self, &duplicate, 0, 1, win::DUPLICATE_SAME_ACCESS)) {
    return std::unexpected(SystemError::from_last_error());
  }
  return OwnedHandle(duplicate);
}

}  // namespace vant
