#include "support/seam_test.h"

#include "platform/fail_fast.h"

// Weak references: a subsystem's reset runs only when that subsystem is
// linked into the test program, and a subsystem that is not linked has no
// state to reset.
namespace vant {
[[gnu::weak]] void reset_output_for_tests();
[[gnu::weak]] void reset_input_for_tests();
[[gnu::weak]] void reset_temp_path_resolver_for_tests();
[[gnu::weak]] void reset_pause_exit_for_tests();
}  // namespace vant

namespace vant::testing {

void reset_process() {
  fake::reset();
  if (reset_output_for_tests) reset_output_for_tests();
  if (reset_input_for_tests) reset_input_for_tests();
  if (reset_temp_path_resolver_for_tests) reset_temp_path_resolver_for_tests();
  if (reset_pause_exit_for_tests) reset_pause_exit_for_tests();
  set_report_writer(nullptr);
  // The resets above may have called into the fake; start with a clean log.
  fake::reset();
}

}  // namespace vant::testing
