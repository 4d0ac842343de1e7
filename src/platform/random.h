// Unpredictable bytes from the system's random generator.
#pragma once

#include <cstdint>
#include <expected>
#include <span>

#include "platform/system_error.h"

namespace vant {

// Fills `bytes` from BCryptGenRandom (the system's preferred generator).
// bcrypt.dll is not a KnownDLL, so it is loaded when needed, from the
// system folder only (load_system_library). Errors: the failed load's or
// look-up's, or the generator's status as a Windows code.
std::expected<void, SystemError> fill_random(std::span<std::uint8_t> bytes);

}  // namespace vant
