// The owner of a Windows handle (unique_resource.h): CloseHandle once, with
// NULL and INVALID_HANDLE_VALUE alike taken as "no handle".
#pragma once

#include "platform/unique_resource.h"
#include "platform/win_api.h"

namespace vant {

struct HandleTraits {
  using Value = win::HANDLE;
  static constexpr Value kNone = win::NULL_HANDLE;
  static constexpr bool is_none(Value handle) {
    return handle == win::NULL_HANDLE || handle == win::INVALID_HANDLE_VALUE;
  }
  // A failed close is ignored: there is nothing left to do with the handle.
  void close(Value handle) const { (void)win::CloseHandle(handle); }
};

using OwnedHandle = UniqueResource<HandleTraits>;

}  // namespace vant
