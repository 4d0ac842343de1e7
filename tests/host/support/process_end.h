// Runs code that should end the process and reports how it ended. The fake's
// ExitProcess and FastFail throw; these catch exactly those.
#pragma once

#include <optional>

#include "fake_windows.h"

namespace vant::testing {

// The fail-fast code, or nothing when the code returned or exited normally.
template <typename Body>
std::optional<unsigned> fail_fast_code(Body&& body) {
  try {
    body();
  } catch (const fake::FailedFast& failed) {
    return failed.code;
  }
  return std::nullopt;
}

// The ExitProcess code, or nothing when the code returned.
template <typename Body>
std::optional<win::DWORD> exit_code(Body&& body) {
  try {
    body();
  } catch (const fake::ProcessExited& exited) {
    return exited.code;
  }
  return std::nullopt;
}

}  // namespace vant::testing
