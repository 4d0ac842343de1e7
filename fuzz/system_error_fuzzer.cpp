// System error texts, with any code and any answer from FormatMessageW:
// the description is the answer decoded strictly and trimmed at the end (or
// the documented fallback text), the display text adds the signed code, and
// the diagnostic form quotes the description so that unquoting gives it back
// and no raw control character is left. The quoting is also given any bytes
// at all.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fake_windows.h"
#include "platform/system_error.h"
#include "support/fuzz_support.h"

namespace vant::fuzz {
namespace {

std::string decimal(std::int32_t value) { return std::to_string(value); }

bool is_control(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029; }

// Reads back a text quoted for the diagnostic form: "..." with \t \r \n \0
// \" \\ and \u{hex} escapes, UTF-8 between them. Sets `why` and returns
// false for anything else: a raw control character or quote inside, a
// malformed escape, a \u{} for a character that has a shorter escape or
// needs none.
bool unquote(std::string_view quoted, std::u32string& out, std::string& why) {
  if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') {
    why = "not enclosed in quotes";
    return false;
  }
  const std::string_view body = quoted.substr(1, quoted.size() - 2);
  std::size_t i = 0;
  while (i < body.size()) {
    char32_t c = 0;
    std::size_t length = 0;
    if (!decode_utf8(body, i, c, length)) {
      why = "not UTF-8 at " + std::to_string(i);
      return false;
    }
    i += length;
    if (c == U'"' || is_control(c)) {
      why = "raw quote or control character " + std::to_string(static_cast<std::uint32_t>(c));
      return false;
    }
    if (c != U'\\') {
      out += c;
      continue;
    }
    if (i == body.size()) {
      why = "a backslash at the end";
      return false;
    }
    const char escape = body[i++];
    switch (escape) {
      case 't': out += U'\t'; continue;
      case 'r': out += U'\r'; continue;
      case 'n': out += U'\n'; continue;
      case '0': out += U'\0'; continue;
      case '"': out += U'"'; continue;
      case '\\': out += U'\\'; continue;
      case 'u': break;
      default: why = std::string("unknown escape \\") + escape; return false;
    }
    const std::size_t close = body.find('}', i);
    if (i == body.size() || body[i] != '{' || close == std::string_view::npos || close == i + 1 || close > i + 7) {
      why = "malformed \\u escape";
      return false;
    }
    const std::string_view digits = body.substr(i + 1, close - i - 1);
    if (digits.size() > 1 && digits[0] == '0') {
      why = "leading zero in \\u escape";
      return false;
    }
    char32_t value = 0;
    for (const char digit : digits) {
      if (!((digit >= '0' && digit <= '9') || (digit >= 'a' && digit <= 'f'))) {
        why = "not lower-case hex in \\u escape";
        return false;
      }
      value = value * 16 + static_cast<char32_t>(digit <= '9' ? digit - '0' : digit - 'a' + 10);
    }
    if (value == U'\t' || value == U'\r' || value == U'\n' || value == 0 || (value >= 0x20 && value < 0x7F)) {
      why = "\\u escape for a character with its own form";
      return false;
    }
    out += value;
    i = close + 1;
  }
  return true;
}

void check_quoting(std::string_view text) {
  std::string quoted;
  append_quoted(quoted, text);
  std::u32string back;
  std::string why;
  const auto context = [&] { return "text " + show(text) + "\nquoted " + show(quoted); };
  FUZZ_CHECK(unquote(quoted, back, why), context() + "\n" + why);
  FUZZ_CHECK(back == code_points_replacing(text), context() + "\ndoes not read back as the text");
}

// What FormatMessageW answers in this run.
struct Answer {
  bool fails = false;
  std::uint32_t last_error = 0;  // when it fails
  std::u16string units;          // written into the buffer
  std::uint32_t count = 0;       // returned when it does not fail
};

// The description the rules give for `answer`.
std::string expected_description(std::int32_t looked_up, const Answer& answer) {
  if (answer.fails) {
    return "OS Error " + decimal(looked_up) + " (FormatMessageW() returned error " +
           decimal(static_cast<std::int32_t>(answer.last_error)) + ")";
  }
  // The buffer holds zeros beyond what was written; a count beyond the
  // buffer is cut to it.
  std::u16string units = answer.units;
  units.resize(std::min<std::size_t>(answer.count, 2048), u'\0');
  std::string text;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (is_high_surrogate(unit) && i + 1 < units.size() && is_low_surrogate(units[i + 1])) {
      append_utf8(text, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(units[i + 1]) - 0xDC00));
      ++i;
    } else if (is_high_surrogate(unit) || is_low_surrogate(unit)) {
      return "OS Error " + decimal(looked_up) + " (FormatMessageW() returned invalid UTF-16)";
    } else {
      append_utf8(text, unit);
    }
  }
  while (!text.empty() && std::string_view("\t\n\f\r ").find(text.back()) != std::string_view::npos) text.pop_back();
  return text;
}

constexpr std::int32_t kCodesOfInterest[] = {0,
                                             2,
                                             5,
                                             6,
                                             109,
                                             193,
                                             1234,
                                             -1,
                                             INT32_MIN,
                                             INT32_MAX,
                                             0x10000000,
                                             0x10000005,
                                             static_cast<std::int32_t>(0xD0000005),
                                             static_cast<std::int32_t>(0xC0000005),
                                             static_cast<std::int32_t>(0xEFFFFFFF),
                                             static_cast<std::int32_t>(0x8007000E)};

}  // namespace
}  // namespace vant::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vant;
  using namespace vant::fuzz;
  const FreshProcess process;
  FuzzedDataProvider input(data, size);
  auto& w = fake::world();

  const std::int32_t code =
      input.ConsumeBool() ? input.PickValueInArray(kCodesOfInterest) : input.ConsumeIntegral<std::int32_t>();
  w.ntdll_loaded = input.ConsumeBool();
  Answer answer;
  answer.fails = input.ConsumeIntegralInRange(0, 3) == 0;
  answer.last_error = input.ConsumeIntegral<std::uint32_t>();
  const std::string unit_bytes = input.ConsumeRandomLengthString(4096);
  for (const std::u16string& units :
       read_unit_texts(reinterpret_cast<const std::uint8_t*>(unit_bytes.data()), unit_bytes.size())) {
    answer.units += units;
  }
  answer.units.resize(std::min<std::size_t>(answer.units.size(), 2048));
  answer.count = input.ConsumeBool() ? static_cast<std::uint32_t>(answer.units.size())
                                     : input.ConsumeIntegralInRange<std::uint32_t>(1, 5000);
  if (answer.count == 0) answer.fails = true;

  w.on_FormatMessageW = [&answer](win::DWORD, win::HMODULE, win::DWORD, char16_t* buffer, win::DWORD size_units) {
    if (answer.fails) {
      win::SetLastError(answer.last_error);
      return win::DWORD{0};
    }
    std::copy_n(answer.units.begin(), std::min<std::size_t>(answer.units.size(), size_units), buffer);
    return win::DWORD{answer.count};
  };

  // Native status codes (bit 28) are looked up in ntdll without that bit,
  // when ntdll is there.
  const bool native = (static_cast<std::uint32_t>(code) & 0x10000000) != 0 && w.ntdll_loaded;
  const auto looked_up = static_cast<std::int32_t>(native ? static_cast<std::uint32_t>(code) & 0xEFFFFFFF
                                                          : static_cast<std::uint32_t>(code));
  const std::string description = expected_description(looked_up, answer);
  const auto context = [&] {
    return "code " + decimal(code) + (w.ntdll_loaded ? " (ntdll loaded)" : "") + "\nanswer " +
           (answer.fails ? "fails with " + std::to_string(answer.last_error)
                         : show(answer.units) + " count " + std::to_string(answer.count)) +
           "\nexpected description " + show(description);
  };

  const std::string described = describe_os_code(code);
  FUZZ_CHECK(described == description, context() + "\ngot " + show(described));
  FUZZ_CHECK(w.format_calls.size() == 1, context());
  const auto& call = w.format_calls.front();
  FUZZ_CHECK(call.flags == (native ? 0x1A00u : 0x1200u) && call.message_id == static_cast<std::uint32_t>(looked_up) &&
                 call.size == 2048 && call.buffer_zeroed && call.arguments_null && call.language == 0 &&
                 (call.source != win::NULL_MODULE) == native,
             context() + "\nFormatMessageW called with other arguments");

  const SystemError error = SystemError::from_code(code);
  FUZZ_CHECK(error.os_code() == code, context());
  if (code < 0) FUZZ_CHECK(error.kind() == SystemErrorKind::Uncategorized, context());
  const std::string display = error.display_text();
  FUZZ_CHECK(display == description + " (os error " + decimal(code) + ")", context() + "\ndisplay " + show(display));

  std::string quoted_description;
  append_quoted(quoted_description, description);
  const std::string diagnostic = error.diagnostic_text();
  FUZZ_CHECK(diagnostic == "Os { code: " + decimal(code) + ", kind: " + std::string(kind_name(error.kind())) +
                               ", message: " + quoted_description + " }",
             context() + "\ndiagnostic " + show(diagnostic));
  check_quoting(description);

  check_quoting(input.ConsumeRemainingBytesAsString());
  return 0;
}
