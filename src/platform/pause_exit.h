// The end of a run: a timed pause and the process exit with its clean-up.
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

// Runs the exit clean-up once per process, then ends the process with
// `code`. Never returns.
[[noreturn]] void exit_process(std::int32_t code);

// The clean-up that exit_process runs first. The console registers its
// output flush here, so this layer needs nothing from above it.
using ExitCleanup = void (*)();
void set_exit_cleanup(ExitCleanup cleanup);

#ifdef VANT_TEST_HOOKS
// Tests only: forget the cached counter frequency and the run-once state.
void reset_pause_exit_for_tests();
#endif

}  // namespace vant
