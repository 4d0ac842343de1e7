#include "paths/windows_path.h"

#include <span>
#include <utility>

#include "platform/unicode.h"
#include "platform/win_api.h"
#include "platform/windows_text.h"

namespace vant {
namespace {

// Sizes in units with the terminator: the legacy MAX_PATH, and the length
// from which a folder path no longer leaves room for an 8.3 file name.
constexpr std::size_t kMaxPath = 260;
constexpr std::size_t kLongPathFrom = 248;

constexpr std::u16string_view kVerbatim = u"\\\\?\\";
constexpr std::u16string_view kVerbatimUnc = u"\\\\?\\UNC\\";
constexpr std::u16string_view kNtObject = u"\\??\\";
constexpr std::u16string_view kDevice = u"\\\\.\\";

bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }
bool is_ascii_letter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// C: C:\ C:/ \\x //x count as absolute (the last two as UNC or device paths).
bool is_absolute(std::u16string_view path) {
  if (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1])) return true;
  return path.size() >= 2 && !is_separator(path[0]) && path[1] == u':' && (path.size() == 2 || is_separator(path[2]));
}

// Plain paths near MAX_PATH get the prefix that lifts the limit.
// Example: C:\<250 units> -> \\?\C:\<250 units>; dir\a (short, relative)
//          -> C:\work\dir\a.
std::expected<WideText, SystemError> with_long_path_prefix(WideText path) {
  if (path.empty() || path.starts_with(kVerbatim) || path.starts_with(kNtObject)) return path;
  if (path.size() + 1 < kLongPathFrom && is_absolute(path)) return path;

  auto full = full_path_name(path);
  if (!full) return std::unexpected(full.error());
  WideText& absolute = *full;
  if (absolute.size() + 1 < kLongPathFrom) return std::move(absolute);

  if (absolute.size() >= 3 && is_ascii_letter(absolute[0]) && absolute[1] == u':' && absolute[2] == u'\\') {
    return WideText(kVerbatim) + absolute;
  }
  if (absolute.starts_with(kDevice)) return WideText(kVerbatim) + absolute.substr(kDevice.size());
  if (absolute.starts_with(kVerbatim) || absolute.starts_with(kNtObject)) return std::move(absolute);
  if (absolute.starts_with(u"\\\\")) return WideText(kVerbatimUnc) + absolute.substr(2);
  return std::move(absolute);
}

// The plain form of a verbatim path if Windows reads the plain form as the
// same path; otherwise the verbatim path unchanged.
// Example: \\?\C:\Temp\a.exe -> C:\Temp\a.exe; \\?\C:\a\..\b -> unchanged
// (without the prefix ".." would be resolved).
std::expected<WideText, SystemError> without_verbatim_prefix(WideText verbatim, WideText plain) {
  auto full = full_path_name(plain);
  if (!full) return std::unexpected(full.error());
  if (*full == plain) return plain;
  return verbatim;
}

}  // namespace

std::expected<WideText, SystemError> to_wide_text(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) return std::unexpected(errors::nul_in_wide_text);
  WideText units;
  units.reserve(text.size());
  append_utf16_from_wtf8(units, text);
  return units;
}

std::expected<WideText, SystemError> full_path_name(const WideText& path) {
  return fill_text_buffer(
      [&](win::DWORD size, char16_t* buffer) { return win::GetFullPathNameW(path.c_str(), size, buffer, nullptr); },
      [](std::span<const char16_t> units) { return WideText(units.begin(), units.end()); });
}

std::expected<WideText, SystemError> to_windows_path(std::string_view path_text) {
  auto converted = to_wide_text(path_text);
  if (!converted) return std::unexpected(converted.error());
  WideText path = std::move(*converted);

  // Too long to drop a verbatim prefix; a plain path this long needs one.
  if (path.size() + 1 > kMaxPath) return with_long_path_prefix(std::move(path));

  if (path.starts_with(kVerbatim) && path.size() >= 7 && path[5] == u':' && path[6] == u'\\') {
    WideText plain = path.substr(kVerbatim.size());
    return without_verbatim_prefix(std::move(path), std::move(plain));
  }
  if (path.starts_with(kVerbatimUnc)) {
    WideText plain = u"\\\\" + path.substr(kVerbatimUnc.size());
    return without_verbatim_prefix(std::move(path), std::move(plain));
  }
  return with_long_path_prefix(std::move(path));
}

}  // namespace vant
