// Puts the fake Windows and every process-wide state of the program back as
// at process start, as if each test case (or fuzz input) ran in a new
// process. Shared by the host test fixture and the fuzz targets.
#pragma once

#include "console/output.h"
#include "console/stdin_line.h"
#include "fake_windows.h"
#include "paths/temp_directory.h"
#include "platform/clock.h"
#include "platform/fail_fast.h"
#include "platform/process_exit.h"

namespace vant::testing {

inline void reset_process() {
  fake::reset();
  reset_output_for_tests();
  reset_input_for_tests();
  reset_temp_path_resolver_for_tests();
  reset_clock_for_tests();
  reset_process_exit_for_tests();
  set_report_writer(nullptr);
  // The resets above may have called into the fake; start with a clean log.
  fake::reset();
}

}  // namespace vant::testing
