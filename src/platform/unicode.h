// UTF-8, UTF-16 and WTF-8 conversions shared by the console, path and error
// code. All of them are pure functions over byte and unit buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vant {

// Width of the UTF-8 sequence that `first` begins: 1 for 00-7F, 2 for C2-DF,
// 3 for E0-EF, 4 for F0-F4, and 0 for a byte that cannot begin a sequence
// (80-C1 and F5-FF).
int utf8_sequence_width(std::uint8_t first);

// Result of checking bytes as UTF-8, in the manner of a decoder that stops
// at the first problem.
struct Utf8Scan {
  // Length of the longest prefix that is valid UTF-8.
  std::size_t valid_up_to;
  // 0 when everything is valid or the bytes end inside a sequence that could
  // still complete; otherwise the length of the invalid sequence found at
  // `valid_up_to` (1 to 3).
  std::size_t error_len;
};

// Checks `bytes` as strict UTF-8: overlong forms, surrogate code points and
// values above U+10FFFF are invalid.
// Examples: "a\xE4\xB8" -> {1, 0} (incomplete end); "a\xFFb" -> {1, 1}.
Utf8Scan scan_utf8(std::string_view bytes);
bool is_valid_utf8(std::string_view bytes);

// Decodes the code point that starts at byte `i` and sets `length` to its
// byte count; a byte that does not start a well-formed sequence gives
// U+FFFD with length 1.
char32_t decode_utf8_at(std::string_view text, std::size_t i, std::size_t& length);

// Appends the UTF-8 form of `code_point`. Surrogate code points are encoded
// as their 3-byte sequences (ED A0..BF xx), which is what WTF-8 needs.
void append_utf8(std::string& out, char32_t code_point);

// Decodes `units` as strict UTF-16 and appends the UTF-8 text to `out`.
// Returns false, leaving `out` with whatever was appended so far, at the
// first unpaired surrogate.
bool append_utf8_from_utf16(std::string& out, std::span<const char16_t> units);

// Appends the WTF-8 form of `units`: like UTF-8, but a lone surrogate becomes
// its own 3-byte sequence instead of an error. A high surrogate followed by a
// low one is always one 4-byte sequence.
// Example: {0xD83D, 0xDE00} -> F0 9F 98 80; {0xD83D, 'a'} -> ED A0 BD 61.
void append_wtf8_from_utf16(std::string& out, std::span<const char16_t> units);

// Appends the UTF-16 units of WTF-8 text (UTF-8 is a subset). An encoded lone
// surrogate becomes that single unit again; a byte that is not part of a
// well-formed sequence becomes U+FFFD, so the function is total.
void append_utf16_from_wtf8(std::u16string& out, std::string_view text);

// UTF-8 for showing and for passing on as text: each lone surrogate of
// WTF-8 text (a path, a certificate's name) becomes U+FFFD; the byte length
// is unchanged.
std::string utf8_for_display(std::string_view wtf8);

inline bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace vant
