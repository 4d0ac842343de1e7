#include "console/input.h"

#include "console/process_global.h"
#include "console/stdin_reader.h"
#include "platform/lock.h"

namespace vant {
namespace {

// A second reader waits until the first has its whole line.
constinit Mutex g_stdin_lock;
constinit ProcessGlobal<StdinReader> g_stdin;

}  // namespace

std::expected<std::size_t, SystemError> read_stdin_line(std::string& text) {
  const LockGuard guard(g_stdin_lock);
  if (!g_stdin.made()) g_stdin.make();
  return g_stdin.get().read_line(text);
}

std::expected<std::size_t, SystemError> skip_stdin_line() {
  const LockGuard guard(g_stdin_lock);
  if (!g_stdin.made()) g_stdin.make();
  return g_stdin.get().skip_line();
}

#ifdef VANT_TEST_HOOKS
void reset_input_for_tests() { g_stdin.destroy(); }
#endif

}  // namespace vant
