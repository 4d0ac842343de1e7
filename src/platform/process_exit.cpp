#include "platform/process_exit.h"

#include <atomic>

#include "platform/win_api.h"

namespace vant {
namespace {

enum class CleanupState : std::uint8_t { NotRun, Running, Done };

// Process-wide: the clean-up the console registered, and whether it has run.
constinit ExitCleanup g_cleanup = nullptr;
constinit CleanupState g_cleanup_state = CleanupState::NotRun;

}  // namespace

void set_exit_cleanup(ExitCleanup cleanup) { g_cleanup = cleanup; }

void exit_process(std::int32_t code) {
  // Run once: a caller that finds the clean-up under way or done skips it.
  std::atomic_ref<CleanupState> state(g_cleanup_state);
  CleanupState expected = CleanupState::NotRun;
  if (state.compare_exchange_strong(expected, CleanupState::Running)) {
    if (g_cleanup != nullptr) g_cleanup();
    state.store(CleanupState::Done);
  }
  win::ExitProcess(static_cast<win::UINT>(code));
}

#ifdef VANT_TEST_HOOKS
void reset_process_exit_for_tests() {
  g_cleanup = nullptr;
  g_cleanup_state = CleanupState::NotRun;
}
#endif

}  // namespace vant
