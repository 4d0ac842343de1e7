// The end of the process: its clean-up, run once, then ExitProcess.
#pragma once

#include <cstdint>

namespace vant {

// Runs the exit clean-up once per process, then ends the process with
// `code`. Never returns.
[[noreturn]] void exit_process(std::int32_t code);

// The clean-up that exit_process runs first. The console registers its
// output flush here, so this layer needs nothing from above it.
using ExitCleanup = void (*)();
void set_exit_cleanup(ExitCleanup cleanup);

#ifdef VANT_TEST_HOOKS
// Tests only: forget the clean-up and whether it has run.
void reset_process_exit_for_tests();
#endif

}  // namespace vant
