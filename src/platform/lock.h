// Process-wide locks on the platform's slim reader/writer locks: a plain
// mutual exclusion and a re-entrant one. Both are constant-initialised, so
// they can be globals without start-up code.
#pragma once

#include <cstdint>

#include "platform/win_api.h"

namespace vant {

class Mutex {
 public:
  constexpr Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void lock() { win::AcquireSRWLockExclusive(&lock_); }
  bool try_lock() { return win::TryAcquireSRWLockExclusive(&lock_) != 0; }
  void unlock() { win::ReleaseSRWLockExclusive(&lock_); }

 private:
  win::SRWLOCK lock_{};
};

// The thread that holds it may take it again; it is free when every take
// has been matched by a release.
class ReentrantLock {
 public:
  constexpr ReentrantLock() = default;
  ReentrantLock(const ReentrantLock&) = delete;
  ReentrantLock& operator=(const ReentrantLock&) = delete;

  void lock();
  bool try_lock();
  void unlock();

 private:
  Mutex mutex_;
  win::DWORD owner_ = 0;  // thread id of the holder; 0 when free
  std::uint32_t count_ = 0;
};

// Says that the lock is held already (taken by try_lock): the guard only
// releases it.
struct AdoptLock {
  explicit AdoptLock() = default;
};
inline constexpr AdoptLock kAdoptLock{};

// Scoped holder for either lock.
template <typename Lock>
class LockGuard {
 public:
  explicit LockGuard(Lock& lock) : lock_(lock) { lock_.lock(); }
  LockGuard(Lock& lock, AdoptLock) : lock_(lock) {}
  ~LockGuard() { lock_.unlock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Lock& lock_;
};

}  // namespace vant
