#include "process/lookup.h"

#include <span>
#include <string>
#include <vector>

#include "paths/join_path.h"
#include "paths/path_text.h"
#include "platform/win_api.h"
#include "platform/windows_text.h"
#include "process/name_ending.h"

namespace vant {
namespace {

constexpr std::string_view kVerbatim = R"(\\?\)";

// The folder of a file path: everything before its last component, keeping
// the root separator. Nothing for a name without a folder.
// Example: C:\Program Files\VANT\setup.exe -> C:\Program Files\VANT;
//          C:\setup.exe -> C:\; setup.exe -> nothing.
std::optional<PathText> parent_directory(const PathText& path) {
  const std::string_view p = path.bytes();
  const bool verbatim = p.starts_with(kVerbatim);
  const auto is_separator = [&](char c) { return c == '\\' || (!verbatim && c == '/'); };

  std::size_t end = p.size();
  while (end > 0 && is_separator(p[end - 1])) --end;
  std::size_t name_start = end;
  while (name_start > 0 && !is_separator(p[name_start - 1])) --name_start;
  if (name_start == 0) return std::nullopt;

  std::size_t parent_end = name_start - 1;
  while (parent_end > 0 && is_separator(p[parent_end - 1])) --parent_end;
  std::string_view parent = p.substr(0, parent_end);
  // "" and "C:" without their separator would mean the current folder.
  if (parent.empty() || (parent.size() == 2 && parent[1] == ':')) parent = p.substr(0, name_start);
  return PathText::from_wtf8(std::string(parent));
}

// The search folders, each asked for only when the search gets to it. A
// folder that cannot be had is skipped.
std::optional<PathText> own_folder() {
  auto file = fill_text_buffer(
      [](win::DWORD size, char16_t* buffer) { return win::GetModuleFileNameW(win::NULL_MODULE, buffer, size); },
      path_from_wide);
  if (!file) return std::nullopt;
  return parent_directory(*file);
}

std::optional<PathText> system_folder() {
  auto folder = fill_text_buffer(
      [](win::DWORD size, char16_t* buffer) { return win::GetSystemDirectoryW(buffer, size); }, path_from_wide);
  if (!folder) return std::nullopt;
  return std::move(*folder);
}

std::optional<PathText> windows_folder() {
  auto folder = fill_text_buffer(
      [](win::DWORD size, char16_t* buffer) { return win::GetWindowsDirectoryW(buffer, size); }, path_from_wide);
  if (!folder) return std::nullopt;
  return std::move(*folder);
}

// A 32-bit program on 64-bit Windows is given C:\Windows\system32 as its
// system folder too, but Windows redirects its file accesses there to
// SysWOW64, the 32-bit system folder; and some Windows 10 builds ship
// curl.exe only in the 64-bit System32. The Windows folder's "Sysnative" is
// the alias through which a 32-bit process reaches the real System32 (a
// 64-bit process has no such folder). A failed query counts as "not under
// WoW64". Example: C:\Windows -> C:\Windows\Sysnative.
std::optional<PathText> native_system_folder() {
  win::BOOL wow64 = 0;
  if (!win::IsWow64Process(win::GetCurrentProcess(), &wow64) || !wow64) return std::nullopt;
  auto windows = windows_folder();
  if (!windows) return std::nullopt;
  return join_path(*windows, "Sysnative");
}

// This program's own PATH; the children inherit the same environment, so it
// is also theirs. A variable that cannot be read gives no entries.
std::vector<std::u16string> path_entries() {
  auto entries = fill_text_buffer(
      [](win::DWORD size, char16_t* buffer) { return win::GetEnvironmentVariableW(u"PATH", buffer, size); },
      [](std::span<const char16_t> value) {
        return split_search_path({value.data(), value.size()});
      });
  if (!entries) return {};
  return std::move(*entries);
}

// folder + name (+ ".exe" when the name has no extension), if it exists.
std::optional<WideText> find_in(const std::optional<PathText>& folder, std::string_view name, bool has_extension) {
  if (!folder) return std::nullopt;
  std::string candidate = join_path(*folder, name).bytes();
  if (!has_extension) candidate += ".exe";
  return program_exists(candidate);
}

std::expected<WideText, SystemError> search_bare_name(std::string_view name, ProgramSearch search) {
  if (name.find('\0') != std::string_view::npos) return std::unexpected(errors::nul_in_data);
  const bool has_extension = name.find('.') != std::string_view::npos;

  // The system's copy first (lookup.h says why).
  if (auto found = find_in(native_system_folder(), name, has_extension)) return std::move(*found);
  if (auto found = find_in(system_folder(), name, has_extension)) return std::move(*found);
  const bool everywhere = search == ProgramSearch::Everywhere;
  if (everywhere) {
    if (auto found = find_in(own_folder(), name, has_extension)) return std::move(*found);
  }
  if (auto found = find_in(windows_folder(), name, has_extension)) return std::move(*found);
  if (!everywhere) return std::unexpected(errors::program_not_found);
  for (const std::u16string& entry : path_entries()) {
    if (entry.empty()) continue;
    if (auto found = find_in(path_from_wide(entry), name, has_extension)) return std::move(*found);
  }
  return std::unexpected(errors::program_not_found);
}

}  // namespace

std::optional<WideText> program_exists(std::string_view candidate) {
  auto path = to_windows_path(candidate);
  if (!path) return std::nullopt;
  if (win::GetFileAttributesW(path->c_str()) == win::INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return std::move(*path);
}

std::expected<WideText, SystemError> resolve_program(std::string_view program, ProgramSearch search) {
  if (program.empty()) return std::unexpected(errors::no_file_name);
  // In a verbatim path only '\' separates; '/' is part of a name.
  const bool verbatim = program.starts_with(kVerbatim);
  if (program.back() == '\\' || (!verbatim && program.back() == '/')) {
    return std::unexpected(errors::no_file_name);
  }
  const bool ends_in_exe = ends_with_ascii_nocase(program, ".exe");

  if (program.find_first_of("\\/") == std::string_view::npos) return search_bare_name(program, search);

  if (ends_in_exe) return to_windows_path(program);
  std::string with_exe(program);
  with_exe += ".exe";
  if (auto found = program_exists(with_exe)) return std::move(*found);
  return to_windows_path(program);
}

}  // namespace vant
