// Fixture for tests against the fake seam: a fresh fake Windows and fresh
// process-wide state (streams, caches, run-once flags) for every test, as if
// each test were a new process.
#pragma once

#include <gtest/gtest.h>

#include "fake_windows.h"
#include "process_reset.h"

namespace vant::testing {

class SeamTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_process(); }
  void TearDown() override { reset_process(); }

  static fake::FakeWindows& w() { return fake::world(); }
};

}  // namespace vant::testing
