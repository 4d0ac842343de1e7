// Deleting a file, such as a downloaded installer that must not be used.
#pragma once

#include <expected>
#include <string>

#include "platform/system_error.h"

namespace vant {

// Deletes the file at `path` (a Windows path). The error is DeleteFileW's.
std::expected<void, SystemError> delete_file(const std::u16string& path);

}  // namespace vant
