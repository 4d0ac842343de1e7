// Deleting a file that must not be used, such as a refused download.
#pragma once

#include <expected>
#include <string>

#include "platform/system_error.h"

namespace vant {

// Deletes the file at `path` (a platform path). The error is DeleteFileW's.
std::expected<void, SystemError> remove_file(const std::u16string& path);

}  // namespace vant
