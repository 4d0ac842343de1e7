#include "platform/clock.h"

#include <atomic>
#include <cstdint>
#include <limits>

#include "platform/fail_fast.h"
#include "platform/handle.h"
#include "platform/system_error.h"
#include "platform/win_api.h"

namespace vant {
namespace {

// Process-wide: the counter frequency once read.
constinit std::int64_t g_frequency = 0;

constexpr std::uint64_t kNanosPerSecond = 1'000'000'000;

bool shorter(Duration a, Duration b) {
  return a.seconds < b.seconds || (a.seconds == b.seconds && a.nanoseconds < b.nanoseconds);
}

// to - from, or zero when the clock went backwards.
Duration elapsed(Duration from, Duration to) {
  if (shorter(to, from)) return {};
  Duration result{to.seconds - from.seconds, 0};
  if (to.nanoseconds >= from.nanoseconds) {
    result.nanoseconds = to.nanoseconds - from.nanoseconds;
  } else {
    result.seconds -= 1;
    result.nanoseconds = static_cast<std::uint32_t>(to.nanoseconds + kNanosPerSecond - from.nanoseconds);
  }
  return result;
}

// A relative due time for SetWaitableTimer: negative, in 100 ns units,
// rounded up so the timer never fires early. 2 s -> -20,000,000. Durations
// beyond the 64-bit range wait as long as a timer can.
win::LONGLONG relative_due_time(Duration duration) {
  constexpr std::uint64_t kTicksPerSecond = 10'000'000;
  constexpr auto kMaxTicks = static_cast<std::uint64_t>(std::numeric_limits<win::LONGLONG>::max());
  if (duration.seconds >= kMaxTicks / kTicksPerSecond) return -std::numeric_limits<win::LONGLONG>::max();
  const std::uint64_t ticks = duration.seconds * kTicksPerSecond + (duration.nanoseconds + 99u) / 100u;
  return -static_cast<win::LONGLONG>(ticks);
}

// Whole milliseconds for Sleep, which reads 0xFFFFFFFF as "forever": longer
// durations sleep 0xFFFFFFFE ms. 2 s -> 2000.
win::DWORD sleep_milliseconds(Duration duration) {
  constexpr std::uint64_t kLongest = 0xFFFFFFFE;
  if (duration.seconds >= kLongest / 1000) return static_cast<win::DWORD>(kLongest);
  const std::uint64_t milliseconds = duration.seconds * 1000 + duration.nanoseconds / 1'000'000;
  return static_cast<win::DWORD>(milliseconds < kLongest ? milliseconds : kLongest);
}

// The sleep of a system without high-resolution timers. Sleep may end a
// little early; one more millisecond makes up for it, without a loop.
void sleep_by_milliseconds(Duration duration) {
  const Duration before = monotonic_now();
  win::Sleep(sleep_milliseconds(duration));
  const Duration after = monotonic_now();
  if (shorter(elapsed(before, after), duration)) win::Sleep(1);
}

// rest * 10^9 / frequency for rest < frequency, exact and without
// overflow for any 64-bit frequency, in 64-bit arithmetic only (32-bit
// targets have no 128-bit integers): binary long division over the 30 bits
// of 10^9, keeping quotient and remainder, both below the frequency.
// Example: rest 5,000,001 at 10 MHz -> 500,000,100.
std::uint32_t nanoseconds_of(std::uint64_t rest, std::uint64_t frequency) {
  std::uint64_t quotient = 0;
  std::uint64_t remainder = 0;
  // remainder + x, reduced below the frequency, with the carry in quotient.
  const auto add = [&](std::uint64_t x) {
    if (remainder >= frequency - x) {
      remainder -= frequency - x;
      ++quotient;
    } else {
      remainder += x;
    }
  };
  for (int bit = 29; bit >= 0; --bit) {
    quotient *= 2;
    add(remainder);
    if ((kNanosPerSecond >> bit) & 1) add(rest);
  }
  return static_cast<std::uint32_t>(quotient);
}

// A counter value in seconds and nanoseconds. The nanoseconds come from the
// remainder alone, so neither a counter near 2^64 nor a frequency above
// 2^64 / 10^9 can overflow.
// Example: 25,000,001 ticks at 10 MHz -> 2 s 500,000,100 ns.
Duration counter_reading(std::uint64_t counter, std::uint64_t frequency) {
  return {counter / frequency, nanoseconds_of(counter % frequency, frequency)};
}

}  // namespace

void sleep_for(Duration duration) {
  {
    const OwnedHandle timer(win::CreateWaitableTimerExW(nullptr, nullptr, win::CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                                        win::TIMER_ALL_ACCESS));
    if (timer) {
      const win::LONGLONG due = relative_due_time(duration);
      if (win::SetWaitableTimer(timer.get(), &due, 0, nullptr, nullptr, 0) != 0 &&
          win::WaitForSingleObject(timer.get(), win::INFINITE) != win::WAIT_FAILED) {
        return;
      }
    }
  }  // Every failure of the timer is silent; it is closed before falling back.
  sleep_by_milliseconds(duration);
}

Duration monotonic_now() {
  // Every thread would store the same value, so a plain store will do.
  std::atomic_ref<std::int64_t> cached(g_frequency);
  if (cached.load(std::memory_order_relaxed) == 0) {
    win::LONGLONG frequency = 0;
    if (win::QueryPerformanceFrequency(&frequency) == 0) internal_failure_unwrap(SystemError::from_last_error());
    cached.store(frequency, std::memory_order_relaxed);
  }
  win::LONGLONG counter = 0;
  if (win::QueryPerformanceCounter(&counter) == 0) internal_failure_unwrap(SystemError::from_last_error());
  const auto frequency = static_cast<std::uint64_t>(cached.load(std::memory_order_relaxed));
  if (frequency == 0) internal_failure("attempt to divide by zero");
  return counter_reading(static_cast<std::uint64_t>(counter), frequency);
}

#ifdef VANT_TEST_HOOKS
void reset_clock_for_tests() { g_frequency = 0; }
#endif

}  // namespace vant
