// One owner per Windows handle: closes it once, treats NULL and
// INVALID_HANDLE_VALUE alike as "no handle", moves but never copies.
#pragma once

#include <utility>

#include "platform/win_api.h"

namespace vant {

class OwnedHandle {
 public:
  constexpr OwnedHandle() = default;
  constexpr explicit OwnedHandle(win::HANDLE handle) : handle_(handle) {}
  OwnedHandle(OwnedHandle&& other) noexcept : handle_(other.release()) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() { reset(); }

  static constexpr bool is_empty_value(win::HANDLE handle) {
    return handle == win::NULL_HANDLE || handle == win::INVALID_HANDLE_VALUE;
  }

  bool empty() const { return is_empty_value(handle_); }
  explicit operator bool() const { return !empty(); }
  win::HANDLE get() const { return handle_; }

  // Gives up ownership without closing.
  win::HANDLE release() { return std::exchange(handle_, win::NULL_HANDLE); }

  // Closes the held handle, if any; a failed close is ignored because there
  // is nothing left to do with the handle.
  void reset(win::HANDLE handle = win::NULL_HANDLE) {
    const win::HANDLE old = std::exchange(handle_, handle);
    if (!is_empty_value(old)) win::CloseHandle(old);
  }

 private:
  win::HANDLE handle_ = win::NULL_HANDLE;
};

}  // namespace vant
