// Path texts: UTF-16 from Windows to WTF-8 and back is the identity on any
// units; the display text keeps the byte length and is valid UTF-8, with
// U+FFFD exactly where a lone surrogate was; joining a folder and a file name
// adds at most the one separator the rules call for (and rebuilds a verbatim
// folder canonically); a bare file name's explicit form names the file that
// the bare name names, as the fake's GetFullPathNameW resolves both, and
// starting it looks at nothing outside that file's folder; a path with a
// separator is kept as it is.
//
// Input: unit texts (see support/fuzz_support.h). Every text is converted,
// shown and given an explicit folder; the first is also started in that
// form, and joined with the second as the folder and the file name. The raw input
// bytes are shown as a path text too.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fake_windows.h"
#include "paths/explicit_folder.h"
#include "paths/join_path.h"
#include "paths/path_text.h"
#include "paths/windows_path.h"
#include "platform/system_error.h"
#include "platform/unicode.h"
#include "process/spawn.h"
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

  const std::string display = utf8_for_display(path.bytes());
  const auto context = [&] { return "units " + show(units) + "\ndisplay " + show(display); };
  FUZZ_CHECK(display.size() == bytes.size(), context());
  FUZZ_CHECK(is_utf8(display), context());
  FUZZ_CHECK(display == utf8_replacing_lone_surrogates(units), context());
}

// Any bytes at all as a path text (the program never makes such a one, but
// the display must still not grow, shrink or touch more than it replaces).
void check_display_of_any_bytes(std::string_view raw) {
  const std::string display = utf8_for_display(raw);
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

// A path without trailing separators, so that a folder compares equal
// however it was written. Example: C:\work\ -> C:\work; C:\ -> C:.
std::u16string without_trailing_separators(std::u16string path) {
  while (!path.empty() && path.back() == u'\\') path.pop_back();
  return path;
}

// The folder of a full path (its trailing separators ignored), also without
// them. Example: C:\work\a.exe -> C:\work; D:\a -> D:.
std::u16string folder_of(const std::u16string& full) {
  const std::u16string path = without_trailing_separators(full);
  const std::size_t cut = path.rfind(u'\\');
  return cut == std::u16string::npos ? std::u16string() : path.substr(0, cut);
}

// "." or "..", also after a drive (Windows takes any unit before a colon as
// one: 1:.. is the parent of drive 1:'s current folder).
bool is_relative_folder(std::u16string_view name) {
  if (name.size() >= 2 && name[1] == u':') name.remove_prefix(2);
  return name == u"." || name == u"..";
}

// Every path a file function is given while `run` runs: the questions of
// the lookup (GetFileAttributesW, answered as the model would) and the
// application name of every start.
template <typename Run>
std::vector<std::u16string> paths_touched(Run run) {
  fake::FakeWindows& w = fake::world();
  std::vector<std::u16string> touched;
  w.on_GetFileAttributesW = [&](const char16_t* path) {
    touched.emplace_back(path);
    const auto it = w.files.find(w.file_system_path(path));
    if (it != w.files.end()) return it->second;
    win::SetLastError(win::ERROR_FILE_NOT_FOUND);
    return win::INVALID_FILE_ATTRIBUTES;
  };
  const std::size_t started_before = w.created.size();
  run();
  w.on_GetFileAttributesW = nullptr;
  for (std::size_t i = started_before; i < w.created.size(); ++i) touched.push_back(w.created[i].application);
  return touched;
}

// A path with a separator, or an empty one, is kept. A bare name (which a
// tool such as curl resolves against the current folder, or the current
// folder of its drive) gets a form that names the same file, as the fake's
// GetFullPathNameW resolves both (a folder with or without its trailing
// separator being the same), and that no program search applies to: its
// start looks at no path outside that file's folder.
void check_explicit_folder(const std::u16string& units, bool start) {
  const PathText path = path_from_wide(units);
  const std::string& p = path.bytes();
  const PathText explicit_path = with_explicit_folder(path);
  const std::string& e = explicit_path.bytes();
  const auto context = [&] { return "path " + show(p) + "\nexplicit " + show(e); };
  if (p.empty() || p.find_first_of("\\/") != std::string::npos) {
    FUZZ_CHECK(e == p, context());
    return;
  }
  // A NUL never reaches Windows: the start refuses it.
  if (units.find(u'\0') != std::u16string::npos) return;

  const fake::FakeWindows& w = fake::world();
  const auto explicit_units = to_wide_text(e);
  FUZZ_CHECK(explicit_units.has_value(), context());
  const std::u16string file = w.full_path_name(units);
  const std::u16string explicit_file = w.full_path_name(*explicit_units);
  FUZZ_CHECK(without_trailing_separators(explicit_file) == without_trailing_separators(file),
             context() + "\nnames " + show(explicit_file) + "\ninstead of " + show(file));

  // A name that resolves to a folder ("..", "...", "C:.") names no file in it.
  if (!start || file.ends_with(u'\\') || is_relative_folder(units)) return;
  const FreshProcess process;
  const fake::FakeWindows& fresh = fake::world();
  const std::u16string folder = folder_of(file);
  const std::vector<std::u16string> touched =
      paths_touched([&] { (void)spawn_process(ProcessCommand(explicit_path)); });
  for (const std::u16string& touched_path : touched) {
    // Where the access lands (a long path comes with \\?\).
    const std::u16string touched_file = fresh.file_system_path(touched_path);
    FUZZ_CHECK(folder_of(touched_file) == folder,
               context() + "\nthe start looked at " + show(touched_path) + "\noutside " + show(folder));
  }
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
  for (std::size_t i = 0; i < texts.size(); ++i) {
    check_conversions(texts[i]);
    // Starting takes a fresh process each time: only the first text's.
    check_explicit_folder(texts[i], i == 0);
  }
  check_display_of_any_bytes(std::string_view(reinterpret_cast<const char*>(data), size));
  check_join(texts[0], texts.size() > 1 ? texts[1] : u"vant_installer_latest.exe");
  return 0;
}
