// The monotonic clock and the timed pause.
#pragma once

#include <cstdint>

namespace vant {

struct Duration {
  std::uint64_t seconds = 0;
  std::uint32_t nanoseconds = 0;  // 0 to 999,999,999
};

// Blocks the calling thread for `duration`: on a high-resolution waitable
// timer, or, where that fails, with Sleep and at most one extra 1 ms sleep.
void sleep_for(Duration duration);

// A monotonic clock reading from an arbitrary fixed origin.
Duration monotonic_now();

#ifdef VANT_TEST_HOOKS
// Tests only: forget the cached counter frequency.
void reset_clock_for_tests();
#endif

}  // namespace vant
