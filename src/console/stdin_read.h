// One read from standard input. A console is read as UTF-16 with
// ReadConsoleW (line-input mode: it returns at Enter, or at once when Ctrl-Z
// is typed) and converted to UTF-8 whatever the console's code page; a file
// or pipe gives its bytes unchanged.
#pragma once

#include <cstddef>
#include <expected>
#include <span>

#include "platform/system_error.h"
#include "platform/win_api.h"

namespace vant {

// The most units one console read asks for. Each becomes at most 3 UTF-8
// bytes (a pair, two units, becomes 4), so a read needs a byte buffer three
// times this size.
inline constexpr std::size_t kConsoleReadUnits = 4096;

// The ReadConsoleW character that ends a read at once: Ctrl-Z (0x1A).
inline constexpr char16_t kCtrlZ = 0x1A;

// Reads into `buffer` and returns the byte count; 0 is end of input: a file
// or NUL at its end, a pipe whose writer has gone, Ctrl-Z at the start of a
// console line. `pending_surrogate` carries a high surrogate from one console
// read to the next.
std::expected<std::size_t, SystemError> std_read(std::span<char> buffer, char16_t& pending_surrogate);

// Reads up to `wanted` units from the console into `units`, behind a held
// high surrogate if there is one. A read cancelled by Ctrl-C is issued again;
// a final Ctrl-Z is dropped; a final high surrogate is held back for the
// next read, so a pair is never split between two conversions.
// Example: the user types "ab" then Ctrl-Z -> {'a', 'b'}, 2.
std::expected<std::size_t, SystemError> read_console_units(win::HANDLE console,
                                                           std::span<char16_t, kConsoleReadUnits> units,
                                                           std::size_t wanted, char16_t& pending_surrogate);

}  // namespace vant
