#include "platform/process_exit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_windows.h"
#include "support/process_end.h"
#include "support/seam_test.h"

namespace vant {
namespace {

using testing::exit_code;
using testing::SeamTest;

class ProcessExitTest : public SeamTest {};

int g_cleanups = 0;
void count_cleanup() { ++g_cleanups; }

TEST_F(ProcessExitTest, ExitRunsTheCleanupOnceAndEndsWithTheCode) {
  g_cleanups = 0;
  set_exit_cleanup(count_cleanup);
  EXPECT_EQ(exit_code([] { exit_process(3); }), 3u);
  EXPECT_EQ(g_cleanups, 1);
  EXPECT_EQ(exit_code([] { exit_process(-1); }), 0xFFFFFFFFu);
  EXPECT_EQ(g_cleanups, 1);
  EXPECT_EQ(w().exits, (std::vector<win::DWORD>{3, 0xFFFFFFFF}));
}

TEST_F(ProcessExitTest, ExitWithoutACleanupJustEnds) {
  EXPECT_EQ(exit_code([] { exit_process(0); }), 0u);
  EXPECT_EQ(w().calls, std::vector<std::string>{"ExitProcess(0)"});
}

}  // namespace
}  // namespace vant
