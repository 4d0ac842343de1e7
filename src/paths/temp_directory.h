// The user's temporary folder, as Windows reports it.
#pragma once

#include <expected>

#include "paths/path_text.h"
#include "platform/system_error.h"

namespace vant {

// The temporary folder as Windows reports it (GetTempPath2W where the
// system has it, else GetTempPathW).
std::expected<PathText, SystemError> temp_directory();

#ifdef VANT_TEST_HOOKS
// Tests only: forget which temporary-path function was chosen.
void reset_temp_path_resolver_for_tests();
#endif

}  // namespace vant
