#include "console/stdin_line.h"

#include "console/stdin_buffer.h"
#include "platform/lock.h"
#include "platform/process_global.h"

namespace vant {
namespace {

// A second caller waits until the first has skipped its whole line.
constinit Mutex g_stdin_lock;
constinit ProcessGlobal<StdinBuffer> g_stdin;

}  // namespace

std::expected<std::size_t, SystemError> skip_stdin_line() {
  const LockGuard guard(g_stdin_lock);
  if (!g_stdin.made()) g_stdin.make();
  return g_stdin.get().skip_line();
}

#ifdef VANT_TEST_HOOKS
void reset_input_for_tests() { g_stdin.destroy(); }
#endif

}  // namespace vant
