#include <gtest/gtest.h>

#include "support/launch.h"

int main(int argc, char** argv) {
  // The runs started here must inherit only what each test hands them, not
  // the test runner's pipes.
  vant_test::keep_own_std_handles_private();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
