// GetFullPathNameW through the growing-buffer loop.
#pragma once

#include <expected>

#include "platform/system_error.h"
#include "process/wide_text.h"

namespace vant {

// The absolute form of `path` as Windows computes it (against the current
// folder, with "." and ".." resolved and '/' turned into '\'). A failure is
// the call's own error code.
std::expected<WideText, SystemError> full_path_name(const WideText& path);

}  // namespace vant
