#include "process/full_path_name.h"

#include <span>

#include "paths/fill_text_buffer.h"
#include "platform/win_api.h"

namespace vant {

std::expected<WideText, SystemError> full_path_name(const WideText& path) {
  return fill_text_buffer(
      [&](win::DWORD size, char16_t* buffer) { return win::GetFullPathNameW(path.c_str(), size, buffer, nullptr); },
      [](std::span<const char16_t> units) { return WideText(units.begin(), units.end()); });
}

}  // namespace vant
