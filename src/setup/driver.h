// The bootstrap sequence: banner, download with curl, start the installer,
// exit. Nothing calls back into it.
#pragma once

namespace vant {

// The whole run. Ends the process with code 0 once the installer has
// started, or through pause_and_exit after a reported failure.
[[noreturn]] void run_setup();

// The ending of every failure: the Enter prompt, one line of input, exit 1.
[[noreturn]] void pause_and_exit();

}  // namespace vant
