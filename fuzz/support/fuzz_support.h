// What every fuzz target shares: the property check, a fresh process per
// input, reference text conversions written independently of the program's,
// and a compact input format for UTF-16 texts that seeds can be written in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vant::fuzz {

// A property that does not hold: prints what was expected and what came,
// then aborts, so libFuzzer keeps the input as a finding.
[[noreturn]] void property_failed(const char* condition, const char* file, int line, const std::string& context);

// `context` is evaluated only when the check fails.
#define FUZZ_CHECK(condition, context)                                                          \
  do {                                                                                          \
    if (!(condition)) ::vant::fuzz::property_failed(#condition, __FILE__, __LINE__, (context)); \
  } while (false)

// Resets the fake Windows and every process-wide state of the program, as if
// a new process started, on construction and again on destruction. Resetting
// at both ends leaves nothing allocated by one input for the next, so the
// leak check sees every input balanced.
class FreshProcess {
 public:
  FreshProcess();
  ~FreshProcess();
  FreshProcess(const FreshProcess&) = delete;
  FreshProcess& operator=(const FreshProcess&) = delete;
};

// ---- Reference conversions -----------------------------------------------
// Deliberately simple and separate from src/platform/unicode.cpp, so that a
// fault there is not mirrored here.

// UTF-16 units to WTF-8: a pair becomes 4 bytes, a lone surrogate its own
// 3 bytes (ED A0..BF xx).
std::string wtf8_of(std::u16string_view units);

// UTF-16 units to UTF-8, each lone surrogate as U+FFFD (EF BF BD).
std::string utf8_replacing_lone_surrogates(std::u16string_view units);

// Decodes the well-formed UTF-8 sequence at `i` (overlong forms, surrogates
// and values above U+10FFFF are not well-formed); sets `length`. Returns
// false, with length 0, when the bytes at `i` do not start one (also when
// they are cut off by the end).
bool decode_utf8(std::string_view bytes, std::size_t i, char32_t& code_point, std::size_t& length);

// Length of the longest prefix of `bytes` that is well-formed UTF-8.
std::size_t utf8_valid_prefix(std::string_view bytes);
inline bool is_utf8(std::string_view bytes) { return utf8_valid_prefix(bytes) == bytes.size(); }

// Well-formed UTF-8 to UTF-16 units.
std::u16string utf16_of_utf8(std::string_view utf8);

// Code points of `bytes`, each byte that does not start a well-formed
// sequence as U+FFFD on its own.
std::u32string code_points_replacing(std::string_view bytes);

void append_utf8(std::string& out, char32_t code_point);
bool is_high_surrogate(char16_t unit);
bool is_low_surrogate(char16_t unit);

// ---- Texts for messages ---------------------------------------------------

// Printable ASCII as it is, every other unit or byte as \uXXXX or \xXX;
// a long text by its two ends.
std::string show(std::u16string_view units);
std::string show(std::string_view bytes);
std::string show(const std::vector<std::u16string>& texts);

// Both texts and where they first differ.
std::string show_difference(std::u16string_view got, std::u16string_view expected);
std::string show_difference(std::string_view got, std::string_view expected);

// ---- The unit-text input format --------------------------------------------
// A byte stream read as UTF-16 texts, so that seeds can be typed:
//   00-7F          that ASCII unit
//   FE             ends the current text; the next one begins
//   FF hi lo       the unit hi * 256 + lo (any value: NUL, lone surrogates)
//   80-FD          a unit or short sequence of interest (see kUnitsOfInterest
//                  in fuzz_support.cpp): CJK, a pair, lone surrogates, the
//                  path prefixes, runs of backslashes, quotes, separators
// There is always at least one text.
std::vector<std::u16string> read_unit_texts(const std::uint8_t* data, std::size_t size);

}  // namespace vant::fuzz
