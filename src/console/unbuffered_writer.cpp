#include "console/unbuffered_writer.h"

#include <algorithm>
#include <cstdint>

#include "console/nt_io.h"

namespace vant {

std::expected<std::size_t, SystemError> std_write(StdWriter& writer, std::string_view bytes) {
  if (bytes.empty()) return 0;
  const auto handle = std_handle(writer.stream);
  if (!handle) return std::unexpected(handle.error());

  if (is_console(*handle) && win::GetConsoleOutputCP() != win::CP_UTF8) {
    return write_console_utf8(*handle, writer.carry, bytes);
  }
  // Files, pipes, NUL, and consoles that take UTF-8 themselves.
  const NtIoResult result = nt_write_file(*handle, bytes);
  if (result.status >= 0) return result.information;
  // A closed or bogus handle comes back as STATUS_INVALID_HANDLE, which
  // translates to 6: the same as having no stream.
  return std::unexpected(SystemError::from_code(static_cast<std::int32_t>(win::RtlNtStatusToDosError(result.status))));
}

std::expected<void, SystemError> std_write_all(StdWriter& writer, std::string_view bytes) {
  while (!bytes.empty()) {
    const auto written = std_write(writer, bytes);
    if (!written) {
      if (is_missing_stream(written.error())) return {};
      return std::unexpected(written.error());
    }
    if (*written == 0) return std::unexpected(errors::write_zero);
    bytes.remove_prefix(std::min(*written, bytes.size()));
  }
  return {};
}

}  // namespace vant
