#include "console/console_write.h"

#include <algorithm>

#include "platform/fail_fast.h"
#include "platform/unicode.h"

namespace vant {
namespace {

bool is_continuation(std::uint8_t byte) { return (byte & 0xC0) == 0x80; }

// Takes the next byte of a carried character. Writes the character once it
// is complete.
std::expected<std::size_t, SystemError> continue_carried(win::HANDLE console, Utf8Carry& carry, std::uint8_t byte) {
  if (!is_continuation(byte)) {
    carry.clear();
    return std::unexpected(errors::non_utf8_console_output);
  }
  carry.bytes[carry.count++] = byte;
  if (carry.count < utf8_sequence_width(carry.bytes[0])) return 1;

  const std::string_view character(reinterpret_cast<const char*>(carry.bytes.data()), carry.count);
  carry.clear();
  // The continuation bytes were only checked for their top bits; the whole
  // character may still be an overlong form or a surrogate (E0 80 80).
  if (!is_valid_utf8(character)) return std::unexpected(errors::non_utf8_console_output);
  const auto accepted = write_valid_utf8(console, character);
  if (!accepted) return std::unexpected(accepted.error());
  // Only this call's one byte was consumed. A console that took nothing of
  // the character reports 0, so the writer fails instead of dropping it.
  return *accepted == 0 ? 0 : 1;
}

}  // namespace

std::size_t utf8_length_of_units(std::span<const char16_t> units) {
  std::size_t bytes = 0;
  for (const char16_t unit : units) {
    if (unit < 0x80) {
      bytes += 1;
    } else if (unit < 0x800) {
      bytes += 2;
    } else if (is_low_surrogate(unit)) {
      bytes += 1;  // its high surrogate counted 3
    } else {
      bytes += 3;
    }
  }
  return bytes;
}

std::expected<std::size_t, SystemError> write_valid_utf8(win::HANDLE console, std::string_view text) {
  char16_t units[kConsoleWriteWindow];
  const int converted =
      win::MultiByteToWideChar(win::CP_UTF8, win::MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                               units, static_cast<int>(kConsoleWriteWindow));
  if (converted <= 0) internal_failure("Unexpected error in MultiByteToWideChar");
  const auto count = static_cast<win::DWORD>(std::min<std::size_t>(converted, kConsoleWriteWindow));

  win::DWORD accepted = 0;
  if (win::WriteConsoleW(console, units, count, &accepted, nullptr) == 0) {
    return std::unexpected(SystemError::from_last_error());
  }
  if (accepted >= count) return text.size();

  if (is_low_surrogate(units[accepted])) {
    // The console stopped between the halves of a pair. The low half goes
    // out on its own so the screen never shows half a character; whether
    // that works does not change what the caller must write next.
    win::DWORD ignored = 0;
    (void)win::WriteConsoleW(console, units + accepted, 1, &ignored, nullptr);
    ++accepted;
  } else if (accepted == 0) {
    return 0;
  }
  return utf8_length_of_units(std::span<const char16_t>(units, accepted));
}

std::expected<std::size_t, SystemError> write_console_utf8(win::HANDLE console, Utf8Carry& carry,
                                                           std::string_view bytes) {
  const auto first = static_cast<std::uint8_t>(bytes.front());
  if (!carry.empty()) return continue_carried(console, carry, first);

  const std::string_view window = bytes.substr(0, kConsoleWriteWindow);
  const Utf8Scan scan = scan_utf8(window);
  // Whole window valid, or a valid prefix before a cut or bad character:
  // write what is valid; the caller comes back with the rest.
  if (scan.valid_up_to > 0) return write_valid_utf8(console, window.substr(0, scan.valid_up_to));

  // The text ends inside its first character: keep its first byte; the
  // others arrive one per call and go through the carry.
  const int width = utf8_sequence_width(first);
  if (width >= 2 && bytes.size() < static_cast<std::size_t>(width)) {
    carry.bytes[0] = first;
    carry.count = 1;
    return 1;
  }
  return std::unexpected(errors::non_utf8_console_output);
}

}  // namespace vant
