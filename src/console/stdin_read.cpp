#include "console/stdin_read.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "console/nt_io.h"
#include "console/std_handle.h"
#include "platform/unicode.h"

namespace vant {
namespace {

// Asks ReadConsoleW to return as soon as Ctrl-Z is typed, as if it were
// Enter: the bit of a character in the wake-up mask is 1 << its code.
win::CONSOLE_READCONSOLE_CONTROL ctrl_z_wakes_up() {
  win::CONSOLE_READCONSOLE_CONTROL control{};
  control.nLength = sizeof(win::CONSOLE_READCONSOLE_CONTROL);
  control.nInitialChars = 0;
  control.dwCtrlWakeupMask = win::ULONG{1} << kCtrlZ;
  control.dwControlKeyState = 0;
  return control;
}
static_assert(sizeof(win::CONSOLE_READCONSOLE_CONTROL) == 16);

std::expected<std::size_t, SystemError> read_console(win::HANDLE console, std::span<char> buffer,
                                                     char16_t& pending_surrogate) {
  const std::size_t wanted = std::min(buffer.size() / 3, kConsoleReadUnits);
  char16_t units[kConsoleReadUnits];
  const auto count = read_console_units(console, units, wanted, pending_surrogate);
  if (!count) return std::unexpected(count.error());
  if (*count == 0) return 0;

  const int bytes =
      win::WideCharToMultiByte(win::CP_UTF8, win::WC_ERR_INVALID_CHARS, units, static_cast<int>(*count), buffer.data(),
                               static_cast<int>(std::min<std::size_t>(buffer.size(), INT_MAX)), nullptr, nullptr);
  if (bytes <= 0) return std::unexpected(errors::unpaired_surrogate_input);
  return std::min(static_cast<std::size_t>(bytes), buffer.size());
}

}  // namespace

std::expected<std::size_t, SystemError> read_console_units(win::HANDLE console,
                                                           std::span<char16_t, kConsoleReadUnits> units,
                                                           std::size_t wanted, char16_t& pending_surrogate) {
  wanted = std::min(wanted, units.size());
  std::size_t start = 0;
  if (pending_surrogate != 0) {
    units[0] = pending_surrogate;
    pending_surrogate = 0;
    start = 1;
  }
  const auto room = static_cast<win::DWORD>(wanted > start ? wanted - start : 0);

  win::DWORD delivered = 0;
  for (;;) {
    // A code left by an earlier call must not look like a cancel.
    win::SetLastError(0);
    win::CONSOLE_READCONSOLE_CONTROL control = ctrl_z_wakes_up();
    delivered = 0;
    if (win::ReadConsoleW(console, units.data() + start, room, &delivered, &control) == 0) {
      return std::unexpected(SystemError::from_last_error());
    }
    // Ctrl-C or Ctrl-Break cancelled the read: nothing was typed, ask again.
    if (delivered == 0 && win::GetLastError() == win::ERROR_OPERATION_ABORTED) continue;
    break;
  }

  std::size_t count = std::min<std::size_t>(delivered, room);
  if (count > 0 && units[start + count - 1] == kCtrlZ) --count;
  std::size_t total = start + count;
  if (total > 0 && is_high_surrogate(units[total - 1])) {
    pending_surrogate = units[total - 1];
    --total;
  }
  return total;
}

std::expected<std::size_t, SystemError> std_read(std::span<char> buffer, char16_t& pending_surrogate) {
  const auto handle = std_handle(StdStream::Input);
  if (!handle) return std::unexpected(handle.error());
  // No check of the code page on input: the console converts to UTF-16.
  if (is_console(*handle)) return read_console(*handle, buffer, pending_surrogate);

  const NtIoResult result = nt_read_file(*handle, buffer);
  if (result.status == win::STATUS_END_OF_FILE) return 0;
  if (result.status >= 0) return result.information;
  const SystemError error =
      SystemError::from_code(static_cast<std::int32_t>(win::RtlNtStatusToDosError(result.status)));
  // The writer of the pipe has gone: nothing more will come.
  if (error.kind() == SystemErrorKind::BrokenPipe) return 0;
  return std::unexpected(error);
}

}  // namespace vant
