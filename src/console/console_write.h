// UTF-8 text to a Windows console whose output code page is not UTF-8: the
// bytes are checked, converted to UTF-16 at most 4096 at a time, and written
// with WriteConsoleW, so Chinese shows correctly whatever the code page is.
//
// A print may end in the middle of a character (its bytes can arrive in
// different prints). The leading bytes are then held in the stream's
// Utf8Carry and the character is written whole once its last byte comes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string_view>

#include "platform/system_error.h"
#include "platform/win_api.h"

namespace vant {

// At most this many bytes are converted per write; valid UTF-8 of that many
// bytes never needs more than this many UTF-16 units.
inline constexpr std::size_t kConsoleWriteWindow = 4096;

// The leading bytes of a character that a console write ended inside. Between
// writes it holds at most 3 bytes; the fourth slot takes the byte that
// completes a four-byte character.
struct Utf8Carry {
  std::array<std::uint8_t, 4> bytes{};
  std::uint8_t count = 0;

  constexpr bool empty() const { return count == 0; }
  constexpr void clear() { count = 0; }
};

// Writes a part of non-empty `bytes` to the console and returns how many
// bytes it consumed (at least 1, except when the console takes nothing).
// Examples: "你好" -> 6; "\xE4\xBD" (end of the text) -> 1, with E4 carried;
// then "\xA0..." with E4 BD carried -> 1, and 你 is written.
// Bytes that are not UTF-8 fail with "Windows stdio in console mode does not
// support writing non-UTF-8 byte sequences"; bytes before them are written by
// the earlier calls.
std::expected<std::size_t, SystemError> write_console_utf8(win::HANDLE console, Utf8Carry& carry,
                                                           std::string_view bytes);

// Converts 1 to 4096 bytes of valid UTF-8 and writes them with one
// WriteConsoleW; returns how many bytes of the text the console accepted.
// A surrogate pair is never left half written.
std::expected<std::size_t, SystemError> write_valid_utf8(win::HANDLE console, std::string_view text);

// The UTF-8 byte count that accepted UTF-16 units stand for: 1, 2 or 3 per
// unit, and 3 + 1 for a high and a low surrogate.
// Example: {u'a', u'é', u'你', 0xD83D, 0xDE00} -> 1 + 2 + 3 + 4 = 10.
std::size_t utf8_length_of_units(std::span<const char16_t> units);

}  // namespace vant
