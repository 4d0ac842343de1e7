#include "process/inherit_std_handle.h"

namespace vant {

std::expected<OwnedHandle, SystemError> inherit_std_handle(win::DWORD id) {
  return inheritable_duplicate(win::GetStdHandle(id));
}

std::expected<OwnedHandle, SystemError> inheritable_duplicate(win::HANDLE handle) {
  if (OwnedHandle::is_none(handle)) return OwnedHandle();

  const win::HANDLE self = win::GetCurrentProcess();
  win::HANDLE duplicate = win::NULL_HANDLE;
  if (!win::DuplicateHandle(self, handle, self, &duplicate, 0, 1, win::DUPLICATE_SAME_ACCESS)) {
    return std::unexpected(SystemError::from_last_error());
  }
  return OwnedHandle(duplicate);
}

}  // namespace vant
