// The standard handles a child receives.
#pragma once

#include <expected>

#include "platform/handle.h"
#include "platform/system_error.h"
#include "platform/win_api.h"

namespace vant {

// An inheritable duplicate (same access) of this process's standard handle
// `id` (STD_INPUT_HANDLE, ...), for the child to inherit; empty when this
// process has no such handle, which is not an error. The caller closes the
// duplicate once the child has been created.
std::expected<OwnedHandle, SystemError> inherit_std_handle(win::DWORD id);

// The same for any handle of this process (a pipe's end); empty for an
// empty one.
std::expected<OwnedHandle, SystemError> inheritable_duplicate(win::HANDLE handle);

}  // namespace vant
