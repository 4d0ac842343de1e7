// Path texts: UTF-16 from Windows to WTF-8 and back is the identity on any
// units; the display text keeps the byte length and is valid UTF-8, with
// U+FFFD exactly where a lone surrogate was; joining a folder and a file name
// adds at most the one separator the rules call for (and rebuilds a verbatim
// folder canonically); a bare file name gets an explicit current folder and
// nothing else does.
//
// Input: unit texts (see support/fuzz_support.h). Every text is converted,
// shown and given an explicit folder; the first is also joined with the
// second as the folder and the file name. The raw input bytes are shown as a
// path text too.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "paths/path_text.h"
#include "platform/system_error.h"
#include "process/wide_text.h"
#include "support/fuzz_support.h"

namespace vant::fuzz {
namespace {

void check_conversions(const std::u16string& units) {
  const PathText path = path_from_wide(units);
  const std::string& bytes = path.bytes();
  FUZZ_CHECK(bytes == wtf8_of(units), "units " + show(units) + "\n" + show_difference(bytes, wtf8_of(units)));

  // Back to UTF-16 exactly as Windows gave it, unless a NUL makes the text
  // unusable for Windows.
  const auto wide = to_wide_text(bytes);
  if (units.find(u'\0') != std::u16string::npos) {
    FUZZ_CHECK(!wide.has_value() && wide.error() == errors::nul_in_wide_text, "NUL accepted in " + show(units));
  } else {
    FUZZ_CHECK(wide.has_value() && *wide == units,
               "units " + show(units) + "\ncame back as " + (wide ? show(*wide) : wide.error().display_text()));
  }

  const std::string display = path_display_text(path);
  const auto context = [&] { return "units " + show(units) + "\ndisplay " + show(display); };
  FUZZ_CHECK(display.size() == bytes.size(), context());
  FUZZ_CHECK(is_utf8(display), context());
  FUZZ_CHECK(display == utf8_replacing_lone_surrogates(units), context());
}

// Any bytes at all as a path text (the program never makes such a one, but
// the display must still not grow, shrink or touch more than it replaces).
void check_display_of_any_bytes(std::string_view raw) {
  const std::string display = path_display_text(PathText::from_wtf8(std::string(raw)));
  const auto context = [&] { return "bytes " + show(raw) + "\ndisplay " + show(display); };
  FUZZ_CHECK(display.size() == raw.size(), context());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (display[i] == raw[i]) continue;
    // Only whole encoded surrogates (ED A0..BF xx) become EF BF BD.
    const bool surrogate = i + 2 < raw.size() && static_cast<unsigned char>(raw[i]) == 0xED &&
                           static_cast<unsigned char>(raw[i + 1]) >= 0xA0 && display.compare(i, 3, "\xEF\xBF\xBD") == 0;
    FUZZ_CHECK(surrogate, context() + "\nchanged at byte " + std::to_string(i));
    i += 2;
  }
}

bool is_separator(char c) { return c == '\\' || c == '/'; }
bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// A path with a separator, or none at all, is kept; a bare name gets ".\"
// in front, after the drive of a drive-relative name, and so names the same
// file with its folder spelt out.
void check_explicit_folder(const std::u16string& units) {
  const PathText path = path_from_wide(units);
  const std::string& p = path.bytes();
  const std::string e = with_explicit_folder(path).bytes();
  const auto context = [&] { return "path " + show(p) + "\nexplicit " + show(e); };
  if (p.empty() || p.find_first_of("\\/") != std::string::npos) {
    FUZZ_CHECK(e == p, context());
    return;
  }
  const std::size_t at = p.size() >= 2 && is_ascii_letter(p[0]) && p[1] == ':' ? 2 : 0;
  FUZZ_CHECK(e.size() == p.size() + 2 && e.compare(at, 2, ".\\") == 0 && e.substr(0, at) == p.substr(0, at) &&
                 e.substr(at + 2) == p.substr(at),
             context());
}

std::vector<std::string> split_at_backslashes(std::string_view text) {
  std::vector<std::string> parts(1);
  for (const char c : text) {
    if (c == '\\') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

// The verbatim rebuild, worked out on the folder's parts after \\?\ (split
// at '\' only): the root parts are UNC, server and a non-empty share, or a
// drive, or the one part after the prefix; a separator after them is the
// root '\'; the other parts follow without the empty ones, then the name.
std::string expected_verbatim_join(std::string_view dir, std::string_view name) {
  const std::vector<std::string> parts = split_at_backslashes(dir.substr(4));
  std::size_t root_parts = 1;
  if (parts[0] == "UNC" && parts.size() > 1) {
    root_parts = parts.size() > 2 && !parts[2].empty() ? 3 : 2;
  }
  std::string out(dir.substr(0, 4));
  for (std::size_t k = 0; k < root_parts; ++k) out += (k == 0 ? "" : "\\") + parts[k];
  const bool has_root = parts.size() > root_parts;
  bool after_root = has_root;
  if (has_root) out += '\\';
  std::vector<std::string> rest(parts.begin() + static_cast<std::ptrdiff_t>(root_parts), parts.end());
  rest.emplace_back(name);
  for (std::size_t k = 0; k < rest.size(); ++k) {
    const bool is_name = k + 1 == rest.size();
    if (rest[k].empty() && !is_name) continue;
    if (!after_root) out += '\\';
    after_root = false;
    out += rest[k];
  }
  return out;
}

// Names the program joins are relative: no drive, no leading separator.
std::u16string as_relative_name(std::u16string name) {
  while (!name.empty() && (name[0] == u'\\' || name[0] == u'/')) name.erase(0, 1);
  if (name.size() >= 2 && name[1] == u':') name.insert(0, u"_");
  return name;
}

void check_join(const std::u16string& dir_units, const std::u16string& name_units) {
  const PathText dir = path_from_wide(dir_units);
  const std::string name = wtf8_of(as_relative_name(name_units));
  const PathText joined = join_path(dir, name);
  const std::string& d = dir.bytes();
  const std::string& j = joined.bytes();
  const auto context = [&] { return "folder " + show(d) + "\nname " + show(name) + "\njoined " + show(j); };

  if (d.starts_with("\\\\?\\")) {
    FUZZ_CHECK(j == expected_verbatim_join(d, name), context() + "\nexpected " + show(expected_verbatim_join(d, name)));
    FUZZ_CHECK(j.starts_with("\\\\?\\") && j.ends_with("\\" + name), context());
    return;
  }
  // The folder is kept as it is, and one '\' goes between unless the folder
  // already ends in a separator, is empty, or is a bare drive ("C:a.exe" is
  // relative to that drive's current folder, as the caller asked).
  const bool bare_drive = d.size() == 2 && is_ascii_letter(d[0]) && d[1] == ':';
  const bool needs_separator = !d.empty() && !is_separator(d.back()) && !bare_drive;
  FUZZ_CHECK(j == d + (needs_separator ? "\\" : "") + name, context());
}

}  // namespace
}  // namespace vant::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vant::fuzz;
  const std::vector<std::u16string> texts = read_unit_texts(data, size);
  for (const std::u16string& units : texts) {
    check_conversions(units);
    check_explicit_folder(units);
  }
  check_display_of_any_bytes(std::string_view(reinterpret_cast<const char*>(data), size));
  check_join(texts[0], texts.size() > 1 ? texts[1] : u"vant_installer_latest.exe");
  return 0;
}
