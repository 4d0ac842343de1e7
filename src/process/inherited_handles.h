// The handles a child inherits: exactly the standard handles it is given.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <vector>

#include "platform/system_error.h"
#include "platform/unique_resource.h"
#include "platform/win_api.h"

namespace vant {

// A PROC_THREAD_ATTRIBUTE_HANDLE_LIST of the handles in a STARTUPINFOW's
// hStdInput, hStdOutput and hStdError. With inheritance on and no list, a
// child would get every inheritable handle of this process, including any
// that some later code, or a library, makes inheritable; with the list it
// gets only these.
//
// Windows refuses the start (ERROR_INVALID_PARAMETER) when the list holds a
// NULL or INVALID_HANDLE_VALUE, or one handle twice, so each handle is
// listed once and empty ones not at all. Every listed handle must be
// inheritable: the caller gives inheritable duplicates.
//
// Windows reads the list, and the handles it points to, only in
// CreateProcessW: the object stays where it was made until then.
class InheritedHandles {
 public:
  InheritedHandles() = default;
  InheritedHandles(const InheritedHandles&) = delete;
  InheritedHandles& operator=(const InheritedHandles&) = delete;

  // Lists the standard handles of `startup` and points `extended` at the
  // list. Returns whether the child inherits anything: without a handle
  // there is no list, and the start must not turn inheritance on.
  // Errors: InitializeProcThreadAttributeList's or UpdateProcThreadAttribute's.
  std::expected<bool, SystemError> attach(win::STARTUPINFOEXW& extended);

 private:
  std::array<win::HANDLE, 3> handles_{};
  // Pointer-aligned storage of the size Windows asks for.
  std::vector<std::uintptr_t> storage_;
  struct ListTraits {
    using Value = win::PROC_THREAD_ATTRIBUTE_LIST*;
    static constexpr Value kNone = nullptr;
    void close(Value list) const { win::DeleteProcThreadAttributeList(list); }
  };
  UniqueResource<ListTraits> list_;  // initialised in storage_
};

}  // namespace vant
