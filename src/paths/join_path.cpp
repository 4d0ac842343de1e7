#include "paths/join_path.h"

#include <string>
#include <string_view>

namespace vant {
namespace {

constexpr std::string_view kVerbatim = R"(\\?\)";
constexpr std::string_view kVerbatimUnc = R"(\\?\UNC\)";

bool is_separator(char c) { return c == '\\' || c == '/'; }
bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Length of the text up to (not including) the next '\' from `from`.
std::size_t component_end(std::string_view text, std::size_t from) {
  const std::size_t end = text.find('\\', from);
  return end == std::string_view::npos ? text.size() : end;
}

// Length of a verbatim path's prefix: \\?\UNC\server\share, \\?\C: or
// \\?\anything-up-to-the-first-backslash. Inside a verbatim path only '\'
// separates; '/' is an ordinary character.
std::size_t verbatim_prefix_length(std::string_view dir) {
  if (dir.starts_with(kVerbatimUnc)) {
    const std::size_t server_end = component_end(dir, kVerbatimUnc.size());
    if (server_end == dir.size()) return server_end;
    const std::size_t share_end = component_end(dir, server_end + 1);
    // "\\?\UNC\server\" has an empty share: the '\' is the root, not a part
    // of the prefix.
    return share_end == server_end + 1 ? server_end : share_end;
  }
  const std::size_t after = kVerbatim.size();
  if (dir.size() >= after + 2 && is_ascii_letter(dir[after]) && dir[after + 1] == ':' &&
      (dir.size() == after + 2 || dir[after + 2] == '\\')) {
    return after + 2;
  }
  return component_end(dir, after);
}

// A verbatim folder is not normalised by Windows, so the join must produce
// the canonical form itself: one '\' between parts, empty parts dropped,
// "." and ".." kept as they are.
// Example: \\?\C:\\Temp\\ + a.exe -> \\?\C:\Temp\a.exe;
//          \\?\C: + a.exe -> \\?\C:\a.exe.
std::string join_verbatim(std::string_view dir, std::string_view name) {
  const std::size_t prefix = verbatim_prefix_length(dir);
  std::string out(dir.substr(0, prefix));
  const bool has_root = prefix < dir.size() && dir[prefix] == '\\';
  bool after_root = false;
  if (has_root) {
    out.push_back('\\');
    after_root = true;
  }
  const auto add_part = [&](std::string_view part) {
    if (!after_root) out.push_back('\\');
    after_root = false;
    out.append(part);
  };
  for (std::size_t i = prefix; i < dir.size();) {
    const std::size_t end = component_end(dir, i);
    if (end > i) add_part(dir.substr(i, end - i));
    i = end + 1;
  }
  add_part(name);
  return out;
}

}  // namespace

// Example: C:\Temp\ + a.exe -> C:\Temp\a.exe; C:\Temp + a.exe -> C:\Temp\a.exe;
// C:/Temp/ + a.exe -> C:/Temp/a.exe; C: + a.exe -> C:a.exe; "" + a.exe -> a.exe.
PathText join_path(const PathText& directory, std::string_view name) {
  const std::string_view dir = directory.bytes();
  if (dir.empty()) return PathText::from_wtf8(std::string(name));
  if (dir.starts_with(kVerbatim)) return PathText::from_wtf8(join_verbatim(dir, name));

  std::string out;
  out.reserve(dir.size() + 1 + name.size());
  out.append(dir);
  const bool bare_drive = dir.size() == 2 && is_ascii_letter(dir[0]) && dir[1] == ':';
  if (!is_separator(dir.back()) && !bare_drive) out.push_back('\\');
  out.append(name);
  return PathText::from_wtf8(std::move(out));
}

}  // namespace vant
