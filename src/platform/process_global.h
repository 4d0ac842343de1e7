// Storage for a process-wide object that is made on first use and never
// destroyed. The process always ends through ExitProcess or a fail-fast, so
// a destructor would never run usefully, and a global with one would need
// start-up code to register it. The storage itself is constant-initialised.
#pragma once

#include <new>
#include <utility>

namespace vant {

template <typename T>
class ProcessGlobal {
 public:
  constexpr ProcessGlobal() = default;
  ProcessGlobal(const ProcessGlobal&) = delete;
  ProcessGlobal& operator=(const ProcessGlobal&) = delete;

  bool made() const { return made_; }

  // Makes the object; it must not exist yet.
  template <typename... Args>
  T& make(Args&&... args) {
    T* object = ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
    made_ = true;
    return *object;
  }

  // The object; it must exist.
  T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

  // Tests only: back to "not made", releasing what the object owns.
  void destroy() {
    if (!made_) return;
    made_ = false;
    get().~T();
  }

 private:
  alignas(T) unsigned char storage_[sizeof(T)] = {};
  bool made_ = false;
};

}  // namespace vant
