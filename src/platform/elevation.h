// Whether this process runs elevated: as an administrator who confirmed a
// UAC prompt (or with UAC off), or as SYSTEM.
#pragma once

#include <expected>

#include "platform/system_error.h"

namespace vant {

// Asks the process's token (TokenElevation). Errors: OpenProcessToken's or
// GetTokenInformation's.
std::expected<bool, SystemError> process_is_elevated();

}  // namespace vant
