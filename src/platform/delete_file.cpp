#include "platform/delete_file.h"

#include "platform/win_api.h"

namespace vant {

std::expected<void, SystemError> delete_file(const std::u16string& path) {
  if (!win::DeleteFileW(path.c_str())) return std::unexpected(SystemError::from_last_error());
  return {};
}

}  // namespace vant
