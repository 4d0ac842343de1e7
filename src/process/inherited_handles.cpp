#include "process/inherited_handles.h"

#include <algorithm>

#include "platform/handle.h"

namespace vant {

std::expected<bool, SystemError> InheritedHandles::attach(win::STARTUPINFOEXW& extended) {
  const win::STARTUPINFOW& startup = extended.StartupInfo;
  std::size_t count = 0;
  for (const win::HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
    if (OwnedHandle::is_none(handle)) continue;
    if (std::find(handles_.begin(), handles_.begin() + count, handle) != handles_.begin() + count) continue;
    handles_[count++] = handle;
  }
  if (count == 0) return false;

  // Query the size, then fill: the first call fails by design.
  std::size_t size = 0;
  (void)win::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  if (size == 0) return std::unexpected(SystemError::from_last_error());
  storage_.assign((size + sizeof(std::uintptr_t) - 1) / sizeof(std::uintptr_t), 0);
  auto* list = reinterpret_cast<win::PROC_THREAD_ATTRIBUTE_LIST*>(storage_.data());
  if (!win::InitializeProcThreadAttributeList(list, 1, 0, &size)) {
    return std::unexpected(SystemError::from_last_error());
  }
  list_.reset(list);
  if (!win::UpdateProcThreadAttribute(list, 0, win::PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                      count * sizeof(win::HANDLE), nullptr, nullptr)) {
    return std::unexpected(SystemError::from_last_error());
  }
  extended.lpAttributeList = list;
  return true;
}

}  // namespace vant
