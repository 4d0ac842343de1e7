// Text helpers shared by the stand-ins, the launcher and the tests. Windows
// hands out UTF-16 that need not be valid (a lone surrogate is a legal file
// name unit), so every rendering here is explicit about what it does with it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vant_test {

// UTF-16 to UTF-8; a unit that is not part of a valid pair becomes U+FFFD.
//   u"a\xD800b" -> "a\xEF\xBF\xBD" "b"
std::string to_utf8(std::wstring_view text);

// UTF-8 to UTF-16; bytes that do not form a valid sequence become U+FFFD.
std::wstring from_utf8(std::string_view text);

// The units as four upper-case hex digits each, separated by one space:
//   L"A\x4E2D" -> "0041 4E2D"; an empty text gives "".
std::string hex_units(std::wstring_view text);
std::optional<std::wstring> parse_hex_units(std::string_view hex);

// The bytes as two upper-case hex digits each, separated by one space, as
// the stand-ins record narrow (ANSI) texts:
//   "a\x3F" -> "61 3F"; an empty text gives "".
std::string hex_bytes(std::string_view bytes);

// Lets a plain command line or a UTF-8 file carry any UTF-16 unit, a lone
// surrogate included: "{U+XXXX}" stands for that one unit, everything else
// is taken as it is. Backslashes are left alone because paths are full of them.
//   L"C:\\t{U+D800}x" -> L"C:\\t\xD800x"
std::wstring expand_unit_escapes(std::wstring_view text);

// The value of an environment variable of this process, if it is set.
std::optional<std::wstring> environment_variable(const wchar_t* name);

// A decimal or 0x-prefixed hexadecimal 32-bit number ("22", "0xC0000005").
std::optional<std::uint32_t> parse_u32(std::wstring_view text);

// Time as 100 ns ticks since 1601 (the FILETIME scale), which every process
// on the machine shares.
std::uint64_t now_ticks();

}  // namespace vant_test
