#include "platform/lock.h"

#include <atomic>

namespace vant {

// The owner field is read without the mutex only to ask "do I hold it?":
// only the holding thread ever writes its own id there, so the answer for
// the current thread is always exact.
void ReentrantLock::lock() {
  const win::DWORD self = win::GetCurrentThreadId();
  if (std::atomic_ref<win::DWORD>(owner_).load(std::memory_order_relaxed) == self) {
    ++count_;
    return;
  }
  mutex_.lock();
  std::atomic_ref<win::DWORD>(owner_).store(self, std::memory_order_relaxed);
  count_ = 1;
}

bool ReentrantLock::try_lock() {
  const win::DWORD self = win::GetCurrentThreadId();
  if (std::atomic_ref<win::DWORD>(owner_).load(std::memory_order_relaxed) == self) {
    ++count_;
    return true;
  }
  if (!mutex_.try_lock()) return false;
  std::atomic_ref<win::DWORD>(owner_).store(self, std::memory_order_relaxed);
  count_ = 1;
  return true;
}

void ReentrantLock::unlock() {
  if (--count_ == 0) {
    std::atomic_ref<win::DWORD>(owner_).store(0, std::memory_order_relaxed);
    mutex_.unlock();
  }
}

}  // namespace vant
