// The form in which a path goes to Windows' file functions, against the
// fake's model of GetFullPathNameW: only a NUL is refused; a short absolute
// path and a prefixed one pass unchanged; a relative one is made absolute;
// a relative or long one is what GetFullPathNameW makes of it; a plain path
// long enough to hit the legacy limit always carries the \\?\ prefix; a
// verbatim path loses nothing but its prefix.
//
// Input: unit texts (see support/fuzz_support.h); the first is the path,
// the first unit of the second (if any) picks the current folder.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fake_windows.h"
#include "paths/windows_path.h"
#include "platform/system_error.h"
#include "support/fuzz_support.h"

namespace vant::fuzz {
namespace {

// Units with the terminator: the legacy MAX_PATH, and where a plain path
// stops being safe.
constexpr std::size_t kMaxPath = 260;
constexpr std::size_t kLongPathFrom = 248;

bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }
bool is_ascii_letter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool is_absolute(std::u16string_view path) {
  if (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1])) return true;
  return path.size() >= 2 && !is_separator(path[0]) && path[1] == u':' && (path.size() == 2 || is_separator(path[2]));
}

bool is_prefixed(std::u16string_view path) { return path.starts_with(u"\\\\?\\") || path.starts_with(u"\\??\\"); }

// The forms that plain Windows paths are limited on: C:\..., \\server\...,
// \\.\device.
bool is_limited_form(std::u16string_view path) {
  if (path.size() >= 3 && is_ascii_letter(path[0]) && path[1] == u':' && path[2] == u'\\') return true;
  return path.starts_with(u"\\\\") && !is_prefixed(path);
}

// What the fake's GetFullPathNameW gives for `path`.
std::u16string model_full_path(const std::u16string& path) {
  std::u16string buffer(512, u'\0');
  for (;;) {
    const win::DWORD n =
        win::GetFullPathNameW(path.c_str(), static_cast<win::DWORD>(buffer.size()), buffer.data(), nullptr);
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(n);
  }
}

std::u16string current_folder(const std::vector<std::u16string>& texts) {
  const char16_t pick = texts.size() > 1 && !texts[1].empty() ? texts[1][0] : 0;
  switch (pick % 4) {
    case 1: return u"C:\\" + std::u16string(240, u'd');  // relative names become long
    case 2: return u"D:\\\u4E2D\u6587\\\U0001F600";
    case 3: return u"C:\\" + std::u16string(200, u'e') + u"\\f";
    default: return u"C:\\work";
  }
}

}  // namespace
}  // namespace vant::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vant;
  using namespace vant::fuzz;
  const FreshProcess process;
  const std::vector<std::u16string> texts = read_unit_texts(data, size);
  const std::u16string& path = texts[0];
  fake::world().current_directory = current_folder(texts);

  const auto result = to_windows_path(wtf8_of(path));
  const auto input = [&] { return "path " + show(path) + "\ncurrent folder " + show(fake::world().current_directory); };
  if (path.find(u'\0') != std::u16string::npos) {
    FUZZ_CHECK(!result.has_value() && result.error() == errors::nul_in_wide_text, input());
    return 0;
  }
  FUZZ_CHECK(result.has_value(), input() + "\nfailed: " + result.error().display_text());
  const std::u16string& out = *result;
  const auto context = [&] { return input() + "\nresult " + show(out); };
  FUZZ_CHECK(out.find(u'\0') == std::u16string::npos, context());
  FUZZ_CHECK(out.empty() == path.empty(), context());

  const bool verbatim = path.starts_with(u"\\\\?\\");
  const bool short_enough = path.size() + 1 <= kMaxPath;

  // Passed through unchanged: prefixed paths (but for the verbatim forms
  // that may drop the prefix), and short absolute ones.
  const bool may_drop_prefix =
      verbatim && short_enough &&
      ((path.size() >= 7 && path[5] == u':' && path[6] == u'\\') || path.starts_with(u"\\\\?\\UNC\\"));
  if ((is_prefixed(path) && !may_drop_prefix) ||
      (!is_prefixed(path) && is_absolute(path) && path.size() + 1 < kLongPathFrom)) {
    FUZZ_CHECK(out == path, context());
  }

  // A verbatim path changes only by losing its prefix.
  if (verbatim && out != path) {
    const bool drive_form = u"\\\\?\\" + out == path;
    const bool unc_form = out.starts_with(u"\\\\") && u"\\\\?\\UNC\\" + out.substr(2) == path;
    FUZZ_CHECK(may_drop_prefix && (drive_form || unc_form), context());
  }

  // A plain path near the legacy limit always gets the long-path prefix;
  // only a verbatim path short enough to be read the same way without it
  // comes back plain.
  if (!is_prefixed(out) && is_limited_form(out) && out.size() + 1 >= kLongPathFrom) {
    FUZZ_CHECK(verbatim && out.size() + 1 <= kMaxPath, context());
  }
  // A relative or long plain path is what GetFullPathNameW makes of it,
  // with the prefix for its form when it is long.
  if (!path.empty() && !is_prefixed(path) && (!is_absolute(path) || path.size() + 1 >= kLongPathFrom)) {
    const std::u16string full = model_full_path(path);
    std::u16string expected = full;
    if (full.size() + 1 >= kLongPathFrom) {
      if (full.size() >= 3 && is_ascii_letter(full[0]) && full[1] == u':' && full[2] == u'\\') {
        expected = u"\\\\?\\" + full;
      } else if (full.starts_with(u"\\\\.\\")) {
        expected = u"\\\\?\\" + full.substr(4);
      } else if (full.starts_with(u"\\\\") && !is_prefixed(full)) {
        expected = u"\\\\?\\UNC\\" + full.substr(2);
      }
    }
    FUZZ_CHECK(out == expected, context() + "\nfull path " + show(full) + "\nexpected " + show(expected));
  }
  return 0;
}
