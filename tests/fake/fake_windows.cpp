// The model behind the fake seam. Each function behaves as its Windows
// namesake does for the cases the program meets, sets the last error the way
// Windows does, and writes a line to the call log.
#include "fake_windows.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <thread>

namespace fake {
namespace {

FakeWindows* g_world = nullptr;

char16_t lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool starts_with(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

// A model of Windows' path normalisation, which GetFullPathNameW shows and
// every file function applies to a path without the \\?\ prefix:
// - '/' becomes '\' and runs of separators collapse;
// - a relative path gets the current folder, a rooted one (\a) the current
//   drive, a drive-relative one (C:a) that drive's current folder;
// - "." and ".." are resolved, never past the root: the drive (C:\), the
//   server and share (\\server\share), or the device prefix (\\?\, \\.\);
// - a component followed by a separator loses one trailing '.', and the last
//   component all its trailing dots and spaces, unless the path ends in a
//   separator. A component made only of dots and spaces ends up empty.
// Examples: C:\a\b.. -> C:\a\b; C:\a\b..\c -> C:\a\b.\c; C:\a\... -> C:\a\;
//           C:\a\.. -> C:\; \\?\C:\a\b. -> \\?\C:\a\b; \\?\C:\.. -> \\?\.
// GetFullPathNameW normalises a \\?\ path too (the file functions do not).
// Measured the same under Wine 8; not modelled: legacy device names (CON,
// NUL...), 8.3 short names.
std::u16string full_path(std::u16string_view input, const std::u16string& cwd,
                         const std::map<std::u16string, std::u16string, NoCaseLess>& environment) {
  std::u16string path(input);
  std::replace(path.begin(), path.end(), u'/', u'\\');
  std::u16string root;  // without a separator at its end
  std::u16string rest;  // the components after the root, separators included
  if (path.size() >= 4 && path[0] == u'\\' && path[1] == u'\\' && (path[2] == u'?' || path[2] == u'.') &&
      path[3] == u'\\') {
    // \\?\rest or \\.\rest: the prefix is the whole root.
    root = path.substr(0, 3);
    rest = path.substr(3);
  } else if (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\') {
    // \\server\share\rest
    const std::size_t server_end = path.find(u'\\', 2);
    const std::size_t share_end = server_end == std::u16string::npos ? server_end : path.find(u'\\', server_end + 1);
    root = path.substr(0, share_end);
    rest = share_end == std::u16string::npos ? u"" : path.substr(share_end);
  } else if (path.size() >= 2 && path[1] == u':') {
    // Any unit before the ':' makes a drive, as in Windows' own test of the
    // path type: 1:a is relative to drive 1:.
    root = path.substr(0, 2);
    rest = path.substr(2);
    if (rest.empty() || rest[0] != u'\\') {
      // Drive-relative (C:name): from that drive's current folder, which is
      // the process's own when it is on that drive, else the one Windows
      // keeps in the hidden variable "=D:", else the drive's root.
      std::u16string drive_folder;
      if (cwd.size() >= 2 && lower(cwd[0]) == lower(root[0]) && cwd[1] == u':') {
        root = cwd.substr(0, 2);  // spelt as the current folder spells it
        drive_folder = cwd.substr(2);
      } else if (const auto it = environment.find(u"=" + root); it != environment.end() && it->second.size() >= 2) {
        drive_folder = it->second.substr(2);
      }
      rest = drive_folder + u"\\" + rest;
    }
  } else if (!path.empty() && path[0] == u'\\') {
    root = cwd.substr(0, 2);
    rest = path;
  } else {
    root = cwd.substr(0, 2);
    rest = cwd.substr(2) + u"\\" + path;
  }

  std::vector<std::u16string> parts;
  bool ends_in_separator = false;  // the last component is empty or trimmed away
  for (std::size_t i = 0; i <= rest.size();) {
    const std::size_t j = std::min(rest.find(u'\\', i), rest.size());
    std::u16string part = rest.substr(i, j - i);
    const bool last = j == rest.size();
    i = j + 1;
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (part != u".") {
      if (last) {
        while (!part.empty() && (part.back() == u'.' || part.back() == u' ')) part.pop_back();
      } else if (!part.empty() && part.back() == u'.') {
        part.pop_back();
      }
      if (last) ends_in_separator = part.empty();
      if (!part.empty()) parts.push_back(std::move(part));
    }
  }
  std::u16string out = root;
  for (const auto& part : parts) out += u"\\" + part;
  if (parts.empty() || ends_in_separator) out += u"\\";
  return out;
}

// Copies `text` into a caller's buffer the way the Get*W path functions do:
// the length without NUL when it fits, else the size needed with the NUL.
DWORD copy_out(std::u16string_view text, char16_t* buffer, DWORD size) {
  if (text.size() + 1 > size) return static_cast<DWORD>(text.size() + 1);
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = 0;
  return static_cast<DWORD>(text.size());
}

void log(std::string entry) { world().record_call(std::move(entry)); }

std::u16string from_c(const char16_t* text) { return text ? std::u16string(text) : std::u16string(); }

}  // namespace

bool same_no_case(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

std::optional<std::u16string> CreateProcessCall::variable(std::u16string_view name) const {
  for (const std::u16string& entry : environment) {
    const std::size_t equals = entry.find(u'=', 1);
    if (equals != std::u16string::npos && same_no_case(std::u16string_view(entry).substr(0, equals), name)) {
      return entry.substr(equals + 1);
    }
  }
  return std::nullopt;
}

bool NoCaseLess::operator()(const std::u16string& a, const std::u16string& b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char16_t x, char16_t y) { return lower(x) < lower(y); });
}

FakeWindows::FakeWindows() {
  environment[u"PATH"] = u"C:\\Windows\\system32;C:\\Windows";
  system_messages = {
      {2, u"The system cannot find the file specified.\r\n"},
      {3, u"The system cannot find the path specified.\r\n"},
      {5, u"Access is denied.\r\n"},
      {6, u"The handle is invalid.\r\n"},
      {109, u"The pipe has been ended.\r\n"},
      {112, u"There is not enough space on the disk.\r\n"},
      {126, u"The specified module could not be found.\r\n"},
      {127, u"The specified procedure could not be found.\r\n"},
      {193, u"%1 is not a valid Win32 application.\r\n"},
      {206, u"The filename or extension is too long.\r\n"},
      {267, u"The directory name is invalid.\r\n"},
      {740, u"The requested operation requires elevation.\r\n"},
      {10061, u"No connection could be made because the target machine actively refused it.\r\n"},
  };
  ntdll_messages = {
      {0xC0000005, u"The instruction at 0x%p referenced memory at 0x%p. The memory could not be %s.\r\n"},
  };
  add_directory(u"C:\\Windows");
  add_directory(u"C:\\Windows\\system32");
  add_directory(u"C:\\work");
  add_directory(u"C:\\Users\\user\\AppData\\Local\\Temp");
  add_file(module_file_name);
  add_library(system_directory + u"\\wintrust.dll", Library{kWintrustExports});
  add_library(system_directory + u"\\crypt32.dll", Library{kCrypt32Exports});
  add_library(system_directory + u"\\bcrypt.dll", Library{{"BCryptGenRandom"}});
  add_library(system_directory + u"\\winhttp.dll", Library{kWinHttpExports});
  add_directory(u"C:\\Windows\\Temp");
  // As Windows 10 sets them up (icacls): the Windows folder readable by
  // Users; its Temp, where Users may create files and folders (and, CI,
  // in every folder made there that inherits), and CREATOR OWNER gets full
  // control of what is made there.
  security[u"C:\\Windows"] =
      *parse_sddl(u"O:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICIIO;GA;;;CO)");
  security[u"C:\\Windows\\Temp"] =
      *parse_sddl(u"O:SYD:P(A;OICIIO;GA;;;CO)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;CI;0x100026;;;BU)");
  use_ansi_code_page(936);
}

DWORD& FakeWindows::last_error() {
  thread_local DWORD code = 0;
  return code;
}

HANDLE FakeWindows::add_object(std::shared_ptr<Object> object, bool inheritable) {
  const std::uintptr_t value = next_handle;
  next_handle += 4;
  handles[value] = HandleEntry{std::move(object), inheritable};
  return static_cast<HANDLE>(value);
}

HANDLE FakeWindows::add_console(std::shared_ptr<Console> console, std::string label) {
  auto object = std::make_shared<Object>();
  object->kind = Object::Kind::Console;
  object->console = std::move(console);
  object->label = std::move(label);
  return add_object(std::move(object));
}

HANDLE FakeWindows::add_stream(std::shared_ptr<ByteStream> stream, std::string label) {
  auto object = std::make_shared<Object>();
  object->kind = Object::Kind::Stream;
  object->stream = std::move(stream);
  object->label = std::move(label);
  return add_object(std::move(object));
}

bool FakeWindows::is_open(HANDLE handle) const { return handles.count(static_cast<std::uintptr_t>(handle)) != 0; }

std::shared_ptr<Object> FakeWindows::object_of(HANDLE handle) const {
  const auto it = handles.find(static_cast<std::uintptr_t>(handle));
  return it == handles.end() ? nullptr : it->second.object;
}

std::vector<HANDLE> FakeWindows::open_handles() const {
  std::vector<HANDLE> out;
  for (const auto& [value, entry] : handles) out.push_back(static_cast<HANDLE>(value));
  return out;
}

std::vector<HANDLE> FakeWindows::inheritable_handles() const {
  std::vector<HANDLE> out;
  for (const auto& [value, entry] : handles) {
    if (entry.inheritable) out.push_back(static_cast<HANDLE>(value));
  }
  return out;
}

FakeWindows::StdStreams FakeWindows::use_byte_streams() {
  StdStreams streams{std::make_shared<ByteStream>(), std::make_shared<ByteStream>(), std::make_shared<ByteStream>()};
  std_input = add_stream(streams.input, "stdin");
  std_output = add_stream(streams.output, "stdout");
  std_error = add_stream(streams.error, "stderr");
  return streams;
}

FakeWindows::StdConsole FakeWindows::use_console(DWORD output_code_page) {
  StdConsole result{std::make_shared<Console>()};
  console_output_cp = output_code_page;
  std_input = add_console(result.console, "conin");
  std_output = add_console(result.console, "conout");
  std_error = add_console(result.console, "conerr");
  return result;
}

std::u16string FakeWindows::disk_path(std::u16string_view path) const {
  if (path.empty()) return std::u16string();
  // Only a path that starts exactly with \\?\ (or the NT form \??\) skips
  // the normalisation.
  const bool verbatim = starts_with(path, u"\\\\?\\") || starts_with(path, u"\\??\\");
  const std::u16string seen = verbatim ? std::u16string(path) : full_path(path, current_directory, environment);
  // A device prefix names the same file as the path after it.
  // Example: \\?\C:\a -> C:\a; \\.\UNC\server\share -> \\server\share.
  for (const std::u16string_view prefix : {u"\\\\?\\", u"\\\\.\\", u"\\??\\"}) {
    if (!starts_with(seen, prefix)) continue;
    if (same_no_case(std::u16string_view(seen).substr(4, 4), u"UNC\\")) return u"\\\\" + seen.substr(8);
    return seen.substr(4);
  }
  return seen;
}

std::u16string FakeWindows::full_path_name(std::u16string_view path) const {
  return full_path(path, current_directory, environment);
}

namespace {

// The length of `folder` at the start of `path` when `path` is that folder
// or lies under it (compared without case), else 0.
// Example: C:\Windows\System32\a, C:\WINDOWS\system32 -> 19; C:\Windows\System32x -> 0.
std::size_t under_folder(std::u16string_view path, std::u16string_view folder) {
  if (path.size() < folder.size() || !same_no_case(path.substr(0, folder.size()), folder)) return 0;
  if (path.size() > folder.size() && path[folder.size()] != u'\\') return 0;
  return folder.size();
}

}  // namespace

std::u16string FakeWindows::file_system_path(std::u16string_view path) const {
  std::u16string seen = follow_junctions(redirected(disk_path(path)));
  return seen;
}

std::u16string FakeWindows::follow_junctions(std::u16string path) const {
  // A junction in a junction's target is followed too; a cycle ends the
  // way Windows ends it (ERROR_CANT_RESOLVE_FILENAME), as a path that
  // reaches nothing.
  for (int depth = 0; depth < 32; ++depth) {
    bool followed = false;
    for (const auto& [junction, target] : junctions) {
      if (const std::size_t n = under_folder(path, junction)) {
        path = target + path.substr(n);
        followed = true;
        break;
      }
    }
    if (!followed) return path;
  }
  return u"?";
}

std::u16string FakeWindows::redirected(std::u16string seen) const {
  if (!wow64) return seen;
  const std::u16string windows = disk_path(windows_directory);
  if (const std::size_t n = under_folder(seen, windows + u"\\Sysnative")) {
    return windows + u"\\System32" + seen.substr(n);
  }
  if (const std::size_t n = under_folder(seen, windows + u"\\System32")) {
    const std::u16string_view inside = std::u16string_view(seen).substr(n);
    for (const std::u16string_view exempt :
         {u"\\catroot", u"\\catroot2", u"\\driverstore", u"\\drivers\\etc", u"\\logfiles", u"\\spool"}) {
      if (under_folder(inside, exempt) != 0) return seen;
    }
    return windows + u"\\SysWOW64" + std::u16string(inside);
  }
  if (const std::size_t n = under_folder(seen, windows + u"\\lastgood\\System32")) {
    return windows + u"\\lastgood\\SysWOW64" + seen.substr(n);
  }
  if (same_no_case(seen, windows + u"\\regedit.exe")) return windows + u"\\SysWOW64\\regedit.exe";
  return seen;
}

void FakeWindows::add_file(std::u16string_view path) { add_to_disk(path, win::FILE_ATTRIBUTE_NORMAL); }
void FakeWindows::add_directory(std::u16string_view path) { add_to_disk(path, win::FILE_ATTRIBUTE_DIRECTORY); }
void FakeWindows::add_to_disk(std::u16string_view path, DWORD attributes) {
  const std::u16string key = disk_path(path);
  if (under_folder(key, disk_path(windows_directory) + u"\\Sysnative") != 0) {
    throw std::logic_error("no Sysnative on disk: a WoW64 process reaches System32 through it");
  }
  files[key] = attributes;
}
void FakeWindows::remove_path(std::u16string_view path) {
  files.erase(disk_path(path));
  contents.erase(disk_path(path));
}
bool FakeWindows::exists(std::u16string_view path) const { return files.count(disk_path(path)) != 0; }

namespace {

// The kinds of access that sharing is about.
constexpr DWORD kGenericAll = 0x10000000, kGenericExecute = 0x20000000, kGenericWrite = 0x40000000;
constexpr DWORD kWriteData = 0x2, kAppendData = 0x4, kExecute = 0x20, kDelete = 0x10000;
constexpr DWORD kShareAll = win::FILE_SHARE_READ | win::FILE_SHARE_WRITE | win::FILE_SHARE_DELETE;
bool reads(DWORD access) {
  return (access & (win::GENERIC_READ | kGenericExecute | kGenericAll | kReadData | kExecute)) != 0;
}
bool writes(DWORD access) { return (access & (kGenericWrite | kGenericAll | kWriteData | kAppendData)) != 0; }
bool deletes(DWORD access) { return (access & (kDelete | kGenericAll)) != 0; }

// Whether two opens of one file cannot coexist: either wants an access the
// other does not share.
bool conflict(const FileOpen& open, DWORD access, DWORD share) {
  const auto denies = [](DWORD want, DWORD shared) {
    return (reads(want) && !(shared & win::FILE_SHARE_READ)) || (writes(want) && !(shared & win::FILE_SHARE_WRITE)) ||
           (deletes(want) && !(shared & win::FILE_SHARE_DELETE));
  };
  return denies(access, open.share) || denies(open.access, share);
}

}  // namespace

DWORD FakeWindows::sharing_conflict(std::u16string_view file, DWORD access, DWORD share) const {
  const auto same_file = [&](const FileOpen& open) { return same_no_case(open.path, file); };
  for (const FileOpen& open : other_party_opens) {
    if (same_file(open) && conflict(open, access, share)) return win::ERROR_SHARING_VIOLATION;
  }
  for (const auto& [value, entry] : handles) {
    const FileOpen* open = entry.object->file.get();
    if (open != nullptr && same_file(*open) && conflict(*open, access, share)) return win::ERROR_SHARING_VIOLATION;
  }
  return 0;
}

DWORD FakeWindows::other_party_holds(std::u16string_view path, DWORD access, DWORD share) {
  if (!exists(path)) return win::ERROR_FILE_NOT_FOUND;
  if (const DWORD error = sharing_conflict(disk_path(path), access, share)) return error;
  other_party_opens.push_back(FileOpen{disk_path(path), access, share});
  return 0;
}

DWORD FakeWindows::other_party_writes(std::u16string_view path, std::string content) {
  if (!exists(path)) return win::ERROR_FILE_NOT_FOUND;
  if (!may(Actor::OtherParty, disk_path(path), kAddFile)) return win::ERROR_ACCESS_DENIED;
  if (const DWORD error = sharing_conflict(disk_path(path), kGenericWrite, kShareAll)) return error;
  contents[disk_path(path)] = std::move(content);
  signatures.erase(disk_path(path));
  return 0;
}

DWORD FakeWindows::other_party_deletes(std::u16string_view path) {
  if (!exists(path)) return win::ERROR_FILE_NOT_FOUND;
  if (!may_delete(Actor::OtherParty, disk_path(path))) return win::ERROR_ACCESS_DENIED;
  if (const DWORD error = sharing_conflict(disk_path(path), kDelete, kShareAll)) return error;
  remove_path(path);
  signatures.erase(disk_path(path));
  return 0;
}

DWORD FakeWindows::other_party_renames(std::u16string_view from, std::u16string_view to) {
  if (!exists(from)) return win::ERROR_FILE_NOT_FOUND;
  if (exists(to)) return win::ERROR_ALREADY_EXISTS;
  const std::u16string target_folder = parent_folder(disk_path(to));
  if (!exists(target_folder)) return win::ERROR_PATH_NOT_FOUND;
  const bool folder = (files[disk_path(from)] & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (!may_delete(Actor::OtherParty, disk_path(from)) ||
      !may(Actor::OtherParty, target_folder, folder ? kAddSubdirectory : kAddFile)) {
    return win::ERROR_ACCESS_DENIED;
  }
  if (const DWORD error = sharing_conflict(disk_path(from), kDelete, kShareAll)) return error;
  // The entry moves with what it holds, its contents, signature and DACL.
  const std::u16string source = disk_path(from), target = disk_path(to);
  const auto move_entries = [&](auto& table) {
    std::vector<std::u16string> keys;
    for (const auto& entry : table) {
      if (under_folder(entry.first, source) != 0) keys.push_back(entry.first);
    }
    for (const std::u16string& key : keys) {
      auto node = table.extract(key);
      node.key() = target + key.substr(source.size());
      table.insert(std::move(node));
    }
  };
  move_entries(files);
  move_entries(contents);
  move_entries(signatures);
  move_entries(security);
  move_entries(junctions);
  return 0;
}

// Windows opens the name being replaced for deletion too, so a file held
// without delete sharing cannot be replaced. Simplified: the fake answers
// 32 as for every conflict; Wine 8 was measured answering 5 here
// (ERROR_ACCESS_DENIED). The program never replaces a file, so only that
// it fails matters.
DWORD FakeWindows::other_party_replaces(std::u16string_view path, std::u16string_view from) {
  if (!exists(from)) return win::ERROR_FILE_NOT_FOUND;
  if (const DWORD error = sharing_conflict(disk_path(from), kDelete, kShareAll)) return error;
  if (exists(path)) {
    if (!may_delete(Actor::OtherParty, disk_path(path))) return win::ERROR_ACCESS_DENIED;
    if (const DWORD error = sharing_conflict(disk_path(path), kDelete, kShareAll)) return error;
    remove_path(path);
    signatures.erase(disk_path(path));
  }
  return other_party_renames(from, path);
}

void FakeWindows::record_call(std::string entry) {
  calls.push_back(std::move(entry));
  if (on_call) on_call(calls.back());
}

void FakeWindows::add_library(std::u16string_view path, Library library) {
  add_file(path);
  libraries[disk_path(path)] = std::move(library);
}

std::size_t FakeWindows::count_calls(std::string_view name) const {
  return static_cast<std::size_t>(std::count_if(calls.begin(), calls.end(), [&](const std::string& call) {
    return call == name ||
           (call.size() > name.size() && call.compare(0, name.size(), name) == 0 && call[name.size()] == '(');
  }));
}

FakeWindows& world() {
  if (g_world == nullptr) g_world = new FakeWindows();
  return *g_world;
}

int& seam_depth() {
  thread_local int depth = 0;
  return depth;
}

void reset() {
  delete g_world;
  g_world = new FakeWindows();
  g_world->last_error() = 0;
}

std::u16string u16(std::string_view utf8_text) {
  std::u16string out;
  const auto* p = reinterpret_cast<const unsigned char*>(utf8_text.data());
  const std::size_t n = utf8_text.size();
  for (std::size_t i = 0; i < n;) {
    char32_t c = p[i];
    int extra = 0;
    if (c >= 0xF0) {
      c &= 0x07;
      extra = 3;
    } else if (c >= 0xE0) {
      c &= 0x0F;
      extra = 2;
    } else if (c >= 0xC0) {
      c &= 0x1F;
      extra = 1;
    }
    ++i;
    for (int k = 0; k < extra && i < n; ++k, ++i) c = (c << 6) | (p[i] & 0x3F);
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

std::string utf8(std::u16string_view units) {
  std::string out;
  auto put = [&](char32_t c) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  };
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      put(0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      put(0xFFFD);
    } else {
      put(u);
    }
  }
  return out;
}

}  // namespace fake

// ---- The seam, bound to the model ------------------------------------------

namespace win {

using fake::log;
using fake::world;

DWORD GetLastError() { return world().last_error(); }
void SetLastError(DWORD code) {
  const fake::SeamScope scope;
  log("SetLastError(" + std::to_string(code) + ")");
  world().last_error() = code;
}

HANDLE GetStdHandle(DWORD nStdHandle) {
  const fake::SeamScope scope;
  auto& w = world();
  log("GetStdHandle(" + std::to_string(static_cast<std::int32_t>(nStdHandle)) + ")");
  if (w.on_GetStdHandle) return w.on_GetStdHandle(nStdHandle);
  HANDLE handle = NULL_HANDLE;
  if (nStdHandle == STD_INPUT_HANDLE) handle = w.std_input;
  if (nStdHandle == STD_OUTPUT_HANDLE) handle = w.std_output;
  if (nStdHandle == STD_ERROR_HANDLE) handle = w.std_error;
  if (handle == INVALID_HANDLE_VALUE) w.last_error() = w.std_handle_error;
  return handle;
}

BOOL GetConsoleMode(HANDLE hConsoleHandle, DWORD* lpMode) {
  const fake::SeamScope scope;
  auto& w = world();
  log("GetConsoleMode");
  const auto object = w.object_of(hConsoleHandle);
  if (!object || object->kind != fake::Object::Kind::Console) {
    w.last_error() = ERROR_INVALID_HANDLE;
    return 0;
  }
  *lpMode = 0x1F7;
  return 1;
}

UINT GetConsoleOutputCP() {
  const fake::SeamScope scope;
  log("GetConsoleOutputCP");
  return world().console_output_cp;
}

BOOL WriteConsoleW(HANDLE hConsoleOutput, const char16_t* lpBuffer, DWORD nNumberOfCharsToWrite,
                   DWORD* lpNumberOfCharsWritten, void* lpReserved) {
  const fake::SeamScope scope;
  auto& w = world();
  log("WriteConsoleW(" + std::to_string(nNumberOfCharsToWrite) + ")");
  const auto object = w.object_of(hConsoleOutput);
  if (!object || object->kind != fake::Object::Kind::Console || lpReserved != nullptr) {
    w.last_error() = ERROR_INVALID_HANDLE;
    return 0;
  }
  fake::Console& console = *object->console;
  console.writes.emplace_back(lpBuffer, nNumberOfCharsToWrite);
  if (console.write_error) {
    w.last_error() = *console.write_error;
    return 0;
  }
  DWORD accepted = nNumberOfCharsToWrite;
  if (!console.accept_limits.empty()) {
    accepted = std::min(accepted, console.accept_limits.front());
    console.accept_limits.pop_front();
  }
  console.screen.append(lpBuffer, accepted);
  *lpNumberOfCharsWritten = accepted;
  return 1;
}

BOOL ReadConsoleW(HANDLE hConsoleInput, char16_t* lpBuffer, DWORD nNumberOfCharsToRead, DWORD* lpNumberOfCharsRead,
                  CONSOLE_READCONSOLE_CONTROL* pInputControl) {
  const fake::SeamScope scope;
  auto& w = world();
  log("ReadConsoleW(" + std::to_string(nNumberOfCharsToRead) + ")");
  const auto object = w.object_of(hConsoleInput);
  if (!object || object->kind != fake::Object::Kind::Console) {
    w.last_error() = ERROR_INVALID_HANDLE;
    return 0;
  }
  fake::Console& console = *object->console;
  fake::Console::ReadRequest request{nNumberOfCharsToRead, {}, pInputControl != nullptr};
  if (pInputControl) request.control = *pInputControl;
  console.read_requests.push_back(request);
  if (console.reads.empty()) {
    w.last_error() = console.read_error_when_empty;
    return 0;
  }
  fake::Console::Read answer = std::move(console.reads.front());
  console.reads.pop_front();
  if (answer.fail) {
    w.last_error() = *answer.fail;
    return 0;
  }
  if (answer.cancelled) {
    *lpNumberOfCharsRead = 0;
    w.last_error() = ERROR_OPERATION_ABORTED;
    return 1;
  }
  // More units than asked for stay for the next read, as in a real console.
  if (answer.units.size() > nNumberOfCharsToRead) {
    fake::Console::Read rest;
    rest.units = answer.units.substr(nNumberOfCharsToRead);
    console.reads.push_front(std::move(rest));
    answer.units.resize(nNumberOfCharsToRead);
  }
  std::copy(answer.units.begin(), answer.units.end(), lpBuffer);
  *lpNumberOfCharsRead = static_cast<DWORD>(answer.units.size());
  return 1;
}

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, const char* lpMultiByteStr, int cbMultiByte,
                        char16_t* lpWideCharStr, int cchWideChar) {
  const fake::SeamScope scope;
  auto& w = world();
  log("MultiByteToWideChar(" + std::to_string(cbMultiByte) + ")");
  if (w.on_MultiByteToWideChar)
    return w.on_MultiByteToWideChar(lpMultiByteStr, cbMultiByte, lpWideCharStr, cchWideChar);
  if (CodePage != CP_UTF8 || cbMultiByte <= 0) {
    w.last_error() = ERROR_INVALID_PARAMETER;
    return 0;
  }
  // A strict decoder of its own, independent of the program's.
  std::u16string units;
  const auto* p = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
  const std::size_t n = static_cast<std::size_t>(cbMultiByte);
  for (std::size_t i = 0; i < n;) {
    const unsigned char b = p[i];
    std::size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    char32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    bool ok = len != 0 && i + len <= n;
    for (std::size_t k = 1; ok && k < len; ++k) {
      ok = (p[i + k] & 0xC0) == 0x80;
      c = (c << 6) | (p[i + k] & 0x3F);
    }
    const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (ok) ok = c >= minimum[len] && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
    if (!ok) {
      if (dwFlags & MB_ERR_INVALID_CHARS) {
        w.last_error() = 1113;  // ERROR_NO_UNICODE_TRANSLATION
        return 0;
      }
      units.push_back(0xFFFD);
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      units.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(c));
    }
    i += len;
  }
  if (cchWideChar == 0) return static_cast<int>(units.size());
  if (units.size() > static_cast<std::size_t>(cchWideChar)) {
    w.last_error() = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  std::copy(units.begin(), units.end(), lpWideCharStr);
  return static_cast<int>(units.size());
}

NTSTATUS NtWriteFile(HANDLE FileHandle, HANDLE Event, void* ApcRoutine, void* ApcContext,
                     IO_STATUS_BLOCK* IoStatusBlock, const void* Buffer, ULONG Length, const LONGLONG* ByteOffset,
                     const ULONG* Key) {
  const fake::SeamScope scope;
  auto& w = world();
  log("NtWriteFile(" + std::to_string(Length) + ")");
  const auto object = w.object_of(FileHandle);
  if (object && object->kind == fake::Object::Kind::Console && Event == NULL_HANDLE && !ApcRoutine && !ApcContext &&
      !ByteOffset && !Key) {
    // Console handles take bytes too; the console decodes them in its
    // output code page (only UTF-8 is modelled).
    fake::Console& console = *object->console;
    console.byte_writes.emplace_back(static_cast<const char*>(Buffer), Length);
    console.screen += fake::u16(console.byte_writes.back());
    IoStatusBlock->Status = STATUS_SUCCESS;
    IoStatusBlock->Information = Length;
    return STATUS_SUCCESS;
  }
  if (!object || object->kind != fake::Object::Kind::Stream || Event != NULL_HANDLE || ApcRoutine || ApcContext ||
      ByteOffset || Key) {
    return STATUS_INVALID_HANDLE;
  }
  fake::ByteStream& stream = *object->stream;
  const std::string offered(static_cast<const char*>(Buffer), Length);
  stream.writes.push_back(offered);
  fake::ByteStream::WriteAnswer answer;
  if (!stream.write_answers.empty()) {
    answer = stream.write_answers.front();
    stream.write_answers.pop_front();
  }
  std::size_t accepted = 0;
  if (answer.status >= 0) {
    accepted = std::min<std::size_t>(answer.accept.value_or(Length), Length);
    stream.written.append(offered, 0, accepted);
  }
  if (answer.pending) {
    w.pending_io[static_cast<std::uintptr_t>(FileHandle)] =
        fake::FakeWindows::PendingIo{IoStatusBlock, answer.status, accepted, answer.still_pending};
    return STATUS_PENDING;
  }
  IoStatusBlock->Status = answer.status;
  IoStatusBlock->Information = accepted;
  return answer.status;
}

NTSTATUS NtReadFile(HANDLE FileHandle, HANDLE Event, void* ApcRoutine, void* ApcContext, IO_STATUS_BLOCK* IoStatusBlock,
                    void* Buffer, ULONG Length, const LONGLONG* ByteOffset, const ULONG* Key) {
  const fake::SeamScope scope;
  auto& w = world();
  log("NtReadFile(" + std::to_string(Length) + ")");
  const auto object = w.object_of(FileHandle);
  if (!object || object->kind != fake::Object::Kind::Stream || Event != NULL_HANDLE || ApcRoutine || ApcContext ||
      ByteOffset || Key) {
    return STATUS_INVALID_HANDLE;
  }
  fake::ByteStream& stream = *object->stream;
  stream.read_requests.push_back(Length);
  NTSTATUS status = STATUS_SUCCESS;
  std::string bytes;
  bool pending = false;
  bool still_pending = false;
  if (!stream.read_answers.empty()) {
    fake::ByteStream::ReadAnswer answer = std::move(stream.read_answers.front());
    stream.read_answers.pop_front();
    status = answer.status;
    bytes = std::move(answer.bytes);
    pending = answer.pending;
    still_pending = answer.still_pending;
  } else if (stream.flood > 0) {
    const std::size_t n = static_cast<std::size_t>(
        std::min<std::uint64_t>({stream.flood, stream.max_read, static_cast<std::uint64_t>(Length)}));
    bytes.assign(n, stream.flood_byte);
    stream.flood -= n;
  } else if (stream.readable.empty()) {
    status = stream.end_status;
  } else {
    const std::size_t n = std::min({stream.readable.size(), stream.max_read, static_cast<std::size_t>(Length)});
    bytes = stream.readable.substr(0, n);
    stream.readable.erase(0, n);
  }
  if (bytes.size() > Length) bytes.resize(Length);
  std::memcpy(Buffer, bytes.data(), bytes.size());
  if (pending) {
    w.pending_io[static_cast<std::uintptr_t>(FileHandle)] =
        fake::FakeWindows::PendingIo{IoStatusBlock, status, bytes.size(), still_pending};
    return STATUS_PENDING;
  }
  IoStatusBlock->Status = status;
  IoStatusBlock->Information = bytes.size();
  return status;
}

ULONG RtlNtStatusToDosError(NTSTATUS Status) {
  const fake::SeamScope scope;
  log("RtlNtStatusToDosError");
  switch (static_cast<std::uint32_t>(Status)) {
    case 0xC0000008: return ERROR_INVALID_HANDLE;
    case 0xC000000D: return ERROR_INVALID_PARAMETER;
    case 0xC000014B: return ERROR_BROKEN_PIPE;
    case 0xC00000B1: return ERROR_NO_DATA;  // STATUS_PIPE_CLOSING
    case 0xC0000011: return 38;             // ERROR_HANDLE_EOF
    case 0xC000007F: return 112;            // ERROR_DISK_FULL
    case 0xC0000022: return ERROR_ACCESS_DENIED;
    case 0xC0000120: return ERROR_OPERATION_ABORTED;  // STATUS_CANCELLED
    default: return ERROR_MR_MID_NOT_FOUND;
  }
}

HMODULE GetModuleHandleW(const char16_t* lpModuleName) {
  auto& w = world();
  const std::u16string name = fake::from_c(lpModuleName);
  log("GetModuleHandleW(" + fake::utf8(name) + ")");
  if (name == u"NTDLL.DLL" && w.ntdll_loaded) return static_cast<HMODULE>(0x7FF0);
  w.last_error() = 126;  // ERROR_MOD_NOT_FOUND
  return NULL_MODULE;
}

HMODULE GetModuleHandleA(const char* lpModuleName) {
  auto& w = world();
  const std::string name = lpModuleName ? lpModuleName : "";
  log("GetModuleHandleA(" + name + ")");
  if (name == "kernel32" && w.kernel32_loaded) return static_cast<HMODULE>(0x7FE0);
  w.last_error() = 126;
  return NULL_MODULE;
}

FARPROC GetProcAddress(HMODULE hModule, const char* lpProcName) {
  auto& w = world();
  const std::string name = lpProcName ? lpProcName : "";
  log("GetProcAddress(" + name + ")");
  if (hModule == static_cast<HMODULE>(0x7FE0) && name == "GetTempPath2W" && w.temp_path2) {
    return static_cast<FARPROC>(0x7FE2);
  }
  // A library LoadLibraryExW loaded: the address of an export, the same one
  // on every look-up.
  if (const auto loaded = w.loaded_libraries.find(static_cast<std::uintptr_t>(hModule));
      loaded != w.loaded_libraries.end()) {
    const auto library = w.libraries.find(loaded->second);
    if (library != w.libraries.end() && std::find(library->second.exports.begin(), library->second.exports.end(),
                                                  name) != library->second.exports.end()) {
      for (const auto& [address, procedure] : w.procedures) {
        if (procedure.library == loaded->second && procedure.name == name) return static_cast<FARPROC>(address);
      }
      const std::uintptr_t address = 0x50000000 + 0x10 * w.procedures.size();
      w.procedures[address] = fake::FakeWindows::Procedure{loaded->second, name};
      return static_cast<FARPROC>(address);
    }
  }
  w.last_error() = ERROR_PROC_NOT_FOUND;
  return NULL_PROC;
}

namespace {

constexpr DWORD kSearchApplicationDir = 0x00000200;  // LOAD_LIBRARY_SEARCH_APPLICATION_DIR
constexpr DWORD kSearchUserDirs = 0x00000400;        // LOAD_LIBRARY_SEARCH_USER_DIRS
constexpr DWORD kSearchDefaultDirs = 0x00001000;     // LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
constexpr DWORD kSearchDllLoadDir = 0x00000100;      // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR
constexpr DWORD kSearchFlags =
    kSearchDllLoadDir | kSearchApplicationDir | kSearchUserDirs | LOAD_LIBRARY_SEARCH_SYSTEM32 | kSearchDefaultDirs;

std::string hex(DWORD value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[value % 16]);
    value /= 16;
  } while (value != 0);
  return "0x" + digits;
}

std::u16string folder_of(std::u16string_view path) {
  const std::size_t slash = path.find_last_of(u"\\/");
  return std::u16string(slash == std::u16string_view::npos ? std::u16string_view() : path.substr(0, slash));
}

std::u16string file_name_of(std::u16string_view path) {
  const std::size_t slash = path.find_last_of(u"\\/");
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

// The folders a load of a bare name looks in, in order, as Windows searches
// them: with LOAD_LIBRARY_SEARCH_* flags (or, without, the default that
// SetDefaultDllDirectories set) only the folders they name; otherwise the
// standard order of desktop programs (safe search mode): the program's
// folder, the system folder, the Windows folder, the current folder, then
// PATH. Simplified: no KnownDLLs, no 16-bit system folder, no folders added
// with AddDllDirectory (LOAD_LIBRARY_SEARCH_USER_DIRS adds nothing here),
// no side-by-side redirection.
std::vector<std::u16string> search_folders(const fake::FakeWindows& w, DWORD flags) {
  DWORD search = flags & kSearchFlags;
  if (search == 0 && w.default_dll_directories) search = *w.default_dll_directories;
  const std::u16string program_folder = folder_of(w.module_file_name);
  if (search == 0) {
    std::vector<std::u16string> folders = {program_folder, w.system_directory, w.windows_directory,
                                           w.current_directory};
    const auto path = w.environment.find(u"PATH");
    if (path != w.environment.end()) {
      std::size_t start = 0;
      while (start <= path->second.size()) {
        const std::size_t end = std::min(path->second.find(u';', start), path->second.size());
        if (end > start) folders.push_back(path->second.substr(start, end - start));
        start = end + 1;
      }
    }
    return folders;
  }
  std::vector<std::u16string> folders;
  if (search & (kSearchApplicationDir | kSearchDefaultDirs)) folders.push_back(program_folder);
  if (search & (LOAD_LIBRARY_SEARCH_SYSTEM32 | kSearchDefaultDirs)) folders.push_back(w.system_directory);
  return folders;
}

}  // namespace

BOOL SetDefaultDllDirectories(DWORD DirectoryFlags) {
  auto& w = world();
  log("SetDefaultDllDirectories(" + hex(DirectoryFlags) + ")");
  if (w.default_dll_directories_error) {
    w.last_error() = *w.default_dll_directories_error;
    return 0;
  }
  constexpr DWORD kAllowed =
      kSearchApplicationDir | kSearchUserDirs | LOAD_LIBRARY_SEARCH_SYSTEM32 | kSearchDefaultDirs;
  if (DirectoryFlags == 0 || (DirectoryFlags & ~kAllowed) != 0) {
    w.last_error() = ERROR_INVALID_PARAMETER;
    return 0;
  }
  w.default_dll_directories = DirectoryFlags;
  return 1;
}

HMODULE LoadLibraryExW(const char16_t* lpLibFileName, HANDLE hFile, DWORD dwFlags) {
  auto& w = world();
  const std::u16string name = fake::from_c(lpLibFileName);
  log("LoadLibraryExW(" + fake::utf8(name) + "," + hex(dwFlags) + ")");
  w.loads.push_back({name, hFile == NULL_HANDLE, dwFlags, u""});
  if (name.empty() || hFile != NULL_HANDLE) {
    w.last_error() = ERROR_INVALID_PARAMETER;
    return NULL_MODULE;
  }
  // A name without an extension gets ".dll". A name with a folder is loaded
  // from there, without a search (simplified: Windows also wants such a
  // path fully qualified when LOAD_LIBRARY_SEARCH_* flags are given).
  const bool bare = name.find_first_of(u"\\/") == std::u16string::npos;
  std::u16string file = name;
  if (file_name_of(file).find(u'.') == std::u16string::npos) file += u".dll";
  std::vector<std::u16string> candidates;
  if (!bare) {
    candidates.push_back(file);
  } else {
    // A library of that name that is already loaded is used wherever it
    // came from, as Windows does for a bare name.
    for (const auto& [handle, path] : w.loaded_libraries) {
      if (fake::same_no_case(file_name_of(path), file)) {
        w.loads.back().loaded = path;
        return static_cast<HMODULE>(handle);
      }
    }
    for (const std::u16string& folder : search_folders(w, dwFlags)) {
      if (!folder.empty()) candidates.push_back(folder + (folder.back() == u'\\' ? u"" : u"\\") + file);
    }
  }
  for (const std::u16string& candidate : candidates) {
    const auto library = w.libraries.find(w.file_system_path(candidate));
    if (library == w.libraries.end()) continue;
    if (library->second.load_error) {
      w.last_error() = *library->second.load_error;
      return NULL_MODULE;
    }
    w.loads.back().loaded = library->first;
    for (const auto& [handle, path] : w.loaded_libraries) {
      if (fake::same_no_case(path, library->first)) return static_cast<HMODULE>(handle);
    }
    const std::uintptr_t handle = 0x60000000 + 0x10000 * w.loaded_libraries.size();
    w.loaded_libraries[handle] = library->first;
    return static_cast<HMODULE>(handle);
  }
  w.last_error() = ERROR_MOD_NOT_FOUND;
  return NULL_MODULE;
}

DWORD FormatMessageW(DWORD dwFlags, HMODULE lpSource, DWORD dwMessageId, DWORD dwLanguageId, char16_t* lpBuffer,
                     DWORD nSize, void* Arguments) {
  auto& w = world();
  log("FormatMessageW(" + std::to_string(dwMessageId) + ")");
  const bool zeroed = std::all_of(lpBuffer, lpBuffer + nSize, [](char16_t c) { return c == 0; });
  w.format_calls.push_back({dwFlags, lpSource, dwMessageId, dwLanguageId, nSize, Arguments == nullptr, zeroed});
  if (w.on_FormatMessageW) return w.on_FormatMessageW(dwFlags, lpSource, dwMessageId, lpBuffer, nSize);
  if ((dwFlags & FORMAT_MESSAGE_FROM_HMODULE) && lpSource != static_cast<HMODULE>(0x7FF0)) {
    w.last_error() = ERROR_INVALID_HANDLE;
    return 0;
  }
  // The module's table first; with FORMAT_MESSAGE_FROM_SYSTEM as well, the
  // system's when the module has no such message.
  const std::u16string* text = nullptr;
  const auto look_up = [&](const std::map<DWORD, std::u16string>& table) {
    const auto found = table.find(dwMessageId);
    if (found != table.end()) text = &found->second;
  };
  if (dwFlags & FORMAT_MESSAGE_FROM_HMODULE) look_up(w.ntdll_messages);
  if (!text && (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM)) look_up(w.system_messages);
  if (!text) {
    w.last_error() = ERROR_MR_MID_NOT_FOUND;
    return 0;
  }
  if (text->size() + 1 > nSize) {
    w.last_error() = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  std::copy(text->begin(), text->end(), lpBuffer);
  lpBuffer[text->size()] = 0;
  return static_cast<DWORD>(text->size());
}

DWORD GetTempPathW(DWORD nBufferLength, char16_t* lpBuffer) {
  auto& w = world();
  log("GetTempPathW(" + std::to_string(nBufferLength) + ")");
  if (w.on_GetTempPathW) return w.on_GetTempPathW(nBufferLength, lpBuffer);
  return fake::copy_out(w.temp_path, lpBuffer, nBufferLength);
}

DWORD InvokeGetTempPath2W(FARPROC proc, DWORD BufferLength, char16_t* Buffer) {
  auto& w = world();
  log("GetTempPath2W(" + std::to_string(BufferLength) + ")");
  if (proc != static_cast<FARPROC>(0x7FE2)) throw std::logic_error("InvokeGetTempPath2W: not a procedure address");
  if (w.on_GetTempPath2W) return w.on_GetTempPath2W(BufferLength, Buffer);
  return fake::copy_out(w.temp_path2.value_or(u""), Buffer, BufferLength);
}

DWORD GetModuleFileNameW(HMODULE hModule, char16_t* lpFilename, DWORD nSize) {
  auto& w = world();
  log("GetModuleFileNameW(" + std::to_string(nSize) + ")");
  if (hModule != NULL_MODULE) {
    w.last_error() = 126;
    return 0;
  }
  if (w.on_GetModuleFileNameW) return w.on_GetModuleFileNameW(lpFilename, nSize);
  // Unlike its neighbours, it truncates: the answer is nSize with
  // ERROR_INSUFFICIENT_BUFFER when the name does not fit.
  const std::u16string& name = w.module_file_name;
  if (name.size() + 1 > nSize) {
    if (nSize > 0) {
      std::copy(name.begin(), name.begin() + (nSize - 1), lpFilename);
      lpFilename[nSize - 1] = 0;
    }
    w.last_error() = ERROR_INSUFFICIENT_BUFFER;
    return nSize;
  }
  std::copy(name.begin(), name.end(), lpFilename);
  lpFilename[name.size()] = 0;
  return static_cast<DWORD>(name.size());
}

UINT GetSystemDirectoryW(char16_t* lpBuffer, UINT uSize) {
  auto& w = world();
  log("GetSystemDirectoryW(" + std::to_string(uSize) + ")");
  if (w.on_GetSystemDirectoryW) return w.on_GetSystemDirectoryW(lpBuffer, uSize);
  return fake::copy_out(w.system_directory, lpBuffer, uSize);
}

UINT GetWindowsDirectoryW(char16_t* lpBuffer, UINT uSize) {
  auto& w = world();
  log("GetWindowsDirectoryW(" + std::to_string(uSize) + ")");
  if (w.on_GetWindowsDirectoryW) return w.on_GetWindowsDirectoryW(lpBuffer, uSize);
  return fake::copy_out(w.windows_directory, lpBuffer, uSize);
}

UINT GetSystemWindowsDirectoryW(char16_t* lpBuffer, UINT uSize) {
  auto& w = world();
  log("GetSystemWindowsDirectoryW(" + std::to_string(uSize) + ")");
  if (w.on_GetSystemWindowsDirectoryW) return w.on_GetSystemWindowsDirectoryW(lpBuffer, uSize);
  return fake::copy_out(w.system_windows_directory, lpBuffer, uSize);
}

DWORD GetEnvironmentVariableW(const char16_t* lpName, char16_t* lpBuffer, DWORD nSize) {
  auto& w = world();
  const std::u16string name = fake::from_c(lpName);
  log("GetEnvironmentVariableW(" + fake::utf8(name) + ")");
  if (w.on_GetEnvironmentVariableW) return w.on_GetEnvironmentVariableW(lpName, lpBuffer, nSize);
  const auto it = w.environment.find(name);
  if (it == w.environment.end()) {
    w.last_error() = ERROR_ENVVAR_NOT_FOUND;
    return 0;
  }
  return fake::copy_out(it->second, lpBuffer, nSize);
}

char16_t* GetEnvironmentStringsW() {
  auto& w = world();
  log("GetEnvironmentStringsW");
  if (w.environment_strings_error) {
    w.last_error() = *w.environment_strings_error;
    return nullptr;
  }
  auto block = std::make_unique<std::u16string>();
  if (w.environment_strings) {
    *block = *w.environment_strings;
  } else {
    for (const auto& [name, value] : w.environment) {
      *block += name + u"=" + value;
      block->push_back(u'\0');
    }
    if (w.environment.empty()) block->push_back(u'\0');
    block->push_back(u'\0');
  }
  char16_t* data = block->data();
  w.environment_blocks[reinterpret_cast<std::uintptr_t>(data)] = std::move(block);
  return data;
}

BOOL FreeEnvironmentStringsW(char16_t* penv) {
  auto& w = world();
  log("FreeEnvironmentStringsW");
  if (w.environment_blocks.erase(reinterpret_cast<std::uintptr_t>(penv)) == 0) {
    w.bad_environment_frees.push_back(reinterpret_cast<std::uintptr_t>(penv));
  }
  return 1;
}

DWORD GetFileAttributesW(const char16_t* lpFileName) {
  auto& w = world();
  const std::u16string name = fake::from_c(lpFileName);
  log("GetFileAttributesW(" + fake::utf8(name) + ")");
  if (w.on_GetFileAttributesW) return w.on_GetFileAttributesW(lpFileName);
  const auto it = w.files.find(w.file_system_path(name));
  if (it == w.files.end()) {
    w.last_error() = ERROR_FILE_NOT_FOUND;
    return INVALID_FILE_ATTRIBUTES;
  }
  return it->second;
}

DWORD GetFullPathNameW(const char16_t* lpFileName, DWORD nBufferLength, char16_t* lpBuffer, char16_t** lpFilePart) {
  auto& w = world();
  const std::u16string name = fake::from_c(lpFileName);
  log("GetFullPathNameW(" + fake::utf8(name) + ")");
  if (lpFilePart) *lpFilePart = nullptr;
  if (w.on_GetFullPathNameW) return w.on_GetFullPathNameW(lpFileName, nBufferLength, lpBuffer);
  if (name.empty()) {
    w.last_error() = ERROR_INVALID_PARAMETER;
    return 0;
  }
  return fake::copy_out(fake::full_path(name, w.current_directory, w.environment), lpBuffer, nBufferLength);
}

HANDLE CreateFileW(const char16_t* lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   const SECURITY_ATTRIBUTES* lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  auto& w = world();
  const std::u16string name = fake::from_c(lpFileName);
  log("CreateFileW(" + fake::utf8(name) + ")");
  w.create_file_calls.push_back(fake::CreateFileCall{name, dwDesiredAccess, dwShareMode,
                                                     lpSecurityAttributes == nullptr, dwCreationDisposition,
                                                     dwFlagsAndAttributes, hTemplateFile == NULL_HANDLE});
  // Only opening an existing file is modelled; the program does no more.
  if (dwCreationDisposition != OPEN_EXISTING) {
    w.last_error() = ERROR_INVALID_PARAMETER;
    return INVALID_HANDLE_VALUE;
  }
  const auto it = w.files.find(w.file_system_path(name));
  if (it == w.files.end()) {
    w.last_error() = ERROR_FILE_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  // A folder opens only with FILE_FLAG_BACKUP_SEMANTICS, which the program
  // never asks for.
  if (it->second & FILE_ATTRIBUTE_DIRECTORY) {
    w.last_error() = ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  }
  if (!w.may(fake::Actor::Program, it->first, dwDesiredAccess)) {
    w.last_error() = ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  }
  if (const DWORD error = w.sharing_conflict(it->first, dwDesiredAccess, dwShareMode)) {
    w.last_error() = error;
    return INVALID_HANDLE_VALUE;
  }
  auto object = std::make_shared<fake::Object>();
  object->kind = fake::Object::Kind::File;
  object->file = std::make_shared<fake::FileOpen>(fake::FileOpen{it->first, dwDesiredAccess, dwShareMode});
  object->label = "file";
  const bool inheritable = lpSecurityAttributes != nullptr && lpSecurityAttributes->bInheritHandle != 0;
  const HANDLE handle = w.add_object(std::move(object), inheritable);
  w.create_file_calls.back().result = handle;
  return handle;
}

BOOL CreateDirectoryW(const char16_t* lpPathName, const SECURITY_ATTRIBUTES* lpSecurityAttributes) {
  auto& w = world();
  const std::u16string name = fake::from_c(lpPathName);
  log("CreateDirectoryW(" + fake::utf8(name) + ")");
  fake::FakeWindows::DirectoryCall call;
  call.path = name;
  call.attributes_null = lpSecurityAttributes == nullptr;
  const fake::Security* given = nullptr;
  if (lpSecurityAttributes != nullptr) {
    call.attributes_length = lpSecurityAttributes->nLength;
    call.inherit_handle = lpSecurityAttributes->bInheritHandle;
    if (lpSecurityAttributes->lpSecurityDescriptor != nullptr) {
      const auto descriptor =
          w.descriptors.find(reinterpret_cast<std::uintptr_t>(lpSecurityAttributes->lpSecurityDescriptor));
      if (descriptor == w.descriptors.end()) throw std::logic_error("CreateDirectoryW: not a live descriptor");
      call.security = descriptor->second;
      given = &descriptor->second;
    }
  }
  w.directory_calls.push_back(call);
  const auto fail = [&](DWORD error) {
    w.directory_calls.back().result = error;
    w.last_error() = error;
    return 0;
  };
  if (!w.directory_errors.empty()) {
    const DWORD error = w.directory_errors.front();
    w.directory_errors.pop_front();
    return fail(error);
  }
  if (lpSecurityAttributes != nullptr && lpSecurityAttributes->nLength != sizeof(SECURITY_ATTRIBUTES)) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  // A plain path of MAX_PATH - 12 units or more is refused, room for an
  // 8.3 file name inside.
  if (name.size() >= 248 && !name.starts_with(u"\\\\?\\")) return fail(ERROR_FILENAME_EXCED_RANGE);
  // A name that is there already is taken, whatever it is: a file, a
  // folder, or a junction (wherever it leads).
  const std::u16string key = w.file_system_path(name);
  if (w.files.count(key) != 0 || w.files.count(w.redirected(w.disk_path(name))) != 0) {
    return fail(ERROR_ALREADY_EXISTS);
  }
  const std::u16string parent = fake::parent_folder(key);
  const auto folder = w.files.find(parent);
  if (folder == w.files.end() || !(folder->second & FILE_ATTRIBUTE_DIRECTORY)) return fail(ERROR_PATH_NOT_FOUND);
  if (!w.may(fake::Actor::Program, folder->first, fake::kAddSubdirectory)) return fail(ERROR_ACCESS_DENIED);
  w.files[key] = FILE_ATTRIBUTE_DIRECTORY;
  fake::give_new_entry_security(key, true, fake::Actor::Program, given);
  return 1;
}

HANDLE GetCurrentProcess() {
  log("GetCurrentProcess");
  return world().current_process;
}

BOOL IsWow64Process(HANDLE hProcess, BOOL* Wow64Process) {
  auto& w = world();
  log("IsWow64Process");
  if (hProcess != w.current_process) {
    w.last_error() = ERROR_INVALID_HANDLE;
    return 0;
  }
  if (w.wow64_error) {
    w.last_error() = *w.wow64_error;
    return 0;
  }
  *Wow64Process = w.wow64 ? 1 : 0;
  return 1;
}

BOOL DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle, HANDLE hTargetProcessHandle,
                     HANDLE* lpTargetHandle, DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwOptions) {
  auto& w = world();
  log("DuplicateHandle");
  w.duplicates.push_back(
      {hSourceProcessHandle, hSourceHandle, hTargetProcessHandle, dwDesiredAccess, bInheritHandle, dwOptions});
  const std::size_t index = w.duplicate_count++;
  *lpTargetHandle = NULL_HANDLE;
  if (w.duplicate_fail_at && *w.duplicate_fail_at == index) {
    w.last_error() = w.duplicate_fail_error;
    return 0;
  }
  const auto object = w.object_of(hSourceHandle);
  if (!object || hSourceProcessHandle != w.current_process || hTargetProcessHandle != w.current_process) {
    w.last_error() = ERROR_INVALID_HANDLE;
    return 0;
  }
  *lpTargetHandle = w.add_object(object, bInheritHandle != 0);
  return 1;
}

BOOL CreateProcessW(const char16_t* lpApplicationName, char16_t* lpCommandLine, const void* lpProcessAttributes,
                    const void* lpThreadAttributes, BOOL bInheritHandles, DWORD dwCreationFlags, void* lpEnvironment,
                    const char16_t* lpCurrentDirectory, STARTUPINFOW* lpStartupInfo,
                    PROCESS_INFORMATION* lpProcessInformation) {
  auto& w = world();
  fake::CreateProcessCall call;
  call.application_null = lpApplicationName == nullptr;
  call.application = fake::from_c(lpApplicationName);
  call.command_line = fake::from_c(lpCommandLine);
  call.inherit_handles = bInheritHandles;
  call.creation_flags = dwCreationFlags;
  call.environment_null = lpEnvironment == nullptr;
  if (lpEnvironment != nullptr) {
    for (auto* entry = static_cast<const char16_t*>(lpEnvironment); *entry != 0;) {
      call.environment.emplace_back(entry);
      entry += call.environment.back().size() + 1;
    }
  } else {
    for (const auto& [name, value] : w.environment) call.environment.push_back(name + u"=" + value);
  }
  call.current_directory_null = lpCurrentDirectory == nullptr;
  call.current_directory = fake::from_c(lpCurrentDirectory);
  call.folder = lpCurrentDirectory != nullptr ? w.full_path_name(call.current_directory) : w.current_directory;
  call.attributes_null = lpProcessAttributes == nullptr && lpThreadAttributes == nullptr;
  call.startup_cb = lpStartupInfo->cb;
  call.startup_flags = lpStartupInfo->dwFlags;
  call.std_input = lpStartupInfo->hStdInput;
  call.std_output = lpStartupInfo->hStdOutput;
  call.std_error = lpStartupInfo->hStdError;
  const STARTUPINFOW& si = *lpStartupInfo;
  call.startup_otherwise_zero = !si.lpReserved && !si.lpDesktop && !si.lpTitle && !si.dwX && !si.dwY && !si.dwXSize &&
                                !si.dwYSize && !si.dwXCountChars && !si.dwYCountChars && !si.dwFillAttribute &&
                                !si.wShowWindow && !si.cbReserved2 && !si.lpReserved2;
  call.inheritable_handles = w.inheritable_handles();
  call.extended = (dwCreationFlags & EXTENDED_STARTUPINFO_PRESENT) != 0;
  bool attributes_valid = true;
  if (call.extended) {
    const auto& extended = *reinterpret_cast<const STARTUPINFOEXW*>(lpStartupInfo);
    const auto list = w.attribute_lists.find(reinterpret_cast<std::uintptr_t>(extended.lpAttributeList));
    if (lpStartupInfo->cb != sizeof(STARTUPINFOEXW) || list == w.attribute_lists.end()) {
      attributes_valid = false;
    } else if (list->second.handles != nullptr) {
      const HANDLE* handles = list->second.handles;
      call.handle_list.emplace(handles, handles + list->second.handles_size / sizeof(HANDLE));
      const auto& listed = *call.handle_list;
      for (std::size_t i = 0; i < listed.size(); ++i) {
        const auto entry = w.handles.find(static_cast<std::uintptr_t>(listed[i]));
        if (entry == w.handles.end() || !entry->second.inheritable ||
            std::find(listed.begin(), listed.begin() + static_cast<std::ptrdiff_t>(i), listed[i]) !=
                listed.begin() + static_cast<std::ptrdiff_t>(i)) {
          attributes_valid = false;
        }
      }
      if (bInheritHandles == 0 || listed.empty()) attributes_valid = false;
    }
  }
  if (bInheritHandles != 0) call.inherited = call.handle_list.value_or(call.inheritable_handles);
  call.locks_held = w.locks_held;
  call.image_file = w.file_system_path(call.application);
  if (const auto on_disk = w.files.find(call.image_file); on_disk != w.files.end()) call.image_file = on_disk->first;
  log("CreateProcessW(" + fake::utf8(call.application) + ")");
  w.created.push_back(call);
  if (!attributes_valid) {
    w.last_error() = ERROR_INVALID_PARAMETER;
    return 0;
  }

  // A current folder of the child's own: Windows takes its full path into a
  // buffer of MAX_PATH - 1 units, the NUL included, and refuses a longer
  // one, or one that is not an existing folder, before it opens the image.
  if (lpCurrentDirectory != nullptr) {
    std::u16string folder = w.full_path_name(call.current_directory);
    const bool fits = folder.size() + 1 <= 259;
    while (folder.size() > 3 && folder.back() == u'\\') folder.pop_back();
    const auto found = w.files.find(w.file_system_path(folder));
    if (!fits || found == w.files.end() || (found->second & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      w.last_error() = ERROR_DIRECTORY;
      return 0;
    }
  }

  // Windows first opens the image for reading and execution, sharing
  // reading and deletion: a file someone holds open for writing, or opens
  // without sharing reading, cannot be started.
  if (w.files.count(call.image_file) != 0) {
    if (const DWORD error = w.sharing_conflict(call.image_file, 0x1 | 0x20, FILE_SHARE_READ | FILE_SHARE_DELETE)) {
      w.last_error() = error;
      return 0;
    }
    if (const auto image = w.contents.find(call.image_file); image != w.contents.end()) {
      w.created.back().image = image->second;
    }
  }

  // A script is found by the file the start reaches.
  fake::Program program;
  const auto it = w.programs.find(call.image_file);
  if (auto runs = w.program_runs.find(call.image_file); runs != w.program_runs.end() && !runs->second.empty()) {
    program = runs->second.front();
    runs->second.pop_front();
  } else if (it != w.programs.end()) {
    program = it->second;
    if (call.command_line.ends_with(u" -V")) {
      program = fake::Program{.start_error = program.start_error, .output = program.version_answer};
    }
  } else {
    // Without a script: an existing file runs and exits with 0, a folder
    // cannot be run, a missing file is not found.
    const auto file = w.files.find(call.image_file);
    if (file == w.files.end()) {
      program.start_error = ERROR_FILE_NOT_FOUND;
    } else if (file->second & FILE_ATTRIBUTE_DIRECTORY) {
      program.start_error = ERROR_ACCESS_DENIED;
    }
  }
  if (program.start_error) {
    w.last_error() = *program.start_error;
    return 0;
  }
  if (program.on_start) program.on_start(call);
  // What it writes at once: into a pipe it was given, or onto the stream.
  if (!program.output.empty() && (lpStartupInfo->dwFlags & STARTF_USESTDHANDLES) != 0) {
    if (const auto out = w.object_of(lpStartupInfo->hStdOutput); out && out->stream) {
      (out->stream->pipe ? out->stream->readable : out->stream->written) += program.output;
    }
  }

  auto child = std::make_shared<fake::ChildState>();
  child->exit_code = program.exit_code;
  child->ends_at_ns = program.runs_ms == fake::kRunsForever
                          ? std::nullopt
                          : std::optional<std::int64_t>(w.now_ns + program.runs_ms * 1'000'000);
  child->wait_error = program.wait_error;
  child->exit_code_error = program.exit_code_error;
  child->application = call.application;
  auto process = std::make_shared<fake::Object>();
  process->kind = fake::Object::Kind::Process;
  process->child = child;
  process->label = "process";
  auto thread = std::make_shared<fake::Object>();
  thread->kind = fake::Object::Kind::Thread;
  thread->child = child;
  thread->label = "thread";
  lpProcessInformation->hProcess = w.add_object(process);
  lpProcessInformation->hThread = w.add_object(thread);
  lpProcessInformation->dwProcessId = 1000 + static_cast<DWORD>(w.created.size());
  lpProcessInformation->dwThreadId = 2000 + static_cast<DWORD>(w.created.size());
  return 1;
}

BOOL InitializeProcThreadAttributeList(PROC_THREAD_ATTRIBUTE_LIST* lpAttributeList, DWORD dwAttributeCount,
                                       DWORD dwFlags, std::size_t* lpSize) {
  auto& w = world();
  log("InitializeProcThreadAttributeList(" + std::to_string(dwAttributeCount) + ")");
  const auto key = reinterpret_cast<std::uintptr_t>(lpAttributeList);
  if (dwFlags != 0 || dwAttributeCount != 1 || w.attribute_lists.count(key) != 0) {
    w.last_error() = ERROR_INVALID_PARAMETER;
    return 0;
  }
  if (lpAttributeList == nullptr || *lpSize < w.attribute_list_size) {
    *lpSize = w.attribute_list_size;
    w.last_error() = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  if (key % alignof(void*) != 0) throw std::logic_error("attribute list not aligned");
  w.attribute_lists[key] = {};
  return 1;
}

BOOL UpdateProcThreadAttribute(PROC_THREAD_ATTRIBUTE_LIST* lpAttributeList, DWORD dwFlags, std::uintptr_t Attribute,
                               void* lpValue, std::size_t cbSize, void* lpPreviousValue, std::size_t* lpReturnSize) {
  auto& w = world();
  log("UpdateProcThreadAttribute");
  const auto list = w.attribute_lists.find(reinterpret_cast<std::uintptr_t>(lpAttributeList));
  if (w.attribute_update_error) {
    w.last_error() = *w.attribute_update_error;
    return 0;
  }
  if (list == w.attribute_lists.end() || dwFlags != 0 || Attribute != PROC_THREAD_ATTRIBUTE_HANDLE_LIST ||
      lpPreviousValue != nullptr || lpReturnSize != nullptr || list->second.handles != nullptr) {
    w.last_error() = ERROR_INVALID_PARAMETER;
    return 0;
  }
  if (cbSize == 0 || cbSize % sizeof(HANDLE) != 0) {
    w.last_error() = ERROR_BAD_LENGTH;
    return 0;
  }
  list->second = {static_cast<const HANDLE*>(lpValue), cbSize};
  return 1;
}

void DeleteProcThreadAttributeList(PROC_THREAD_ATTRIBUTE_LIST* lpAttributeList) {
  auto& w = world();
  log("DeleteProcThreadAttributeList");
  if (w.attribute_lists.erase(reinterpret_cast<std::uintptr_t>(lpAttributeList)) == 0) {
    throw std::logic_error("deleting an attribute list that is not live");
  }
  ++w.attribute_lists_deleted;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  const fake::SeamScope scope;
  auto& w = world();
  log("WaitForSingleObject");
  const auto object = w.object_of(hHandle);
  if (!object) {
    w.last_error() = ERROR_INVALID_HANDLE;
    return WAIT_FAILED;
  }
  switch (object->kind) {
    case fake::Object::Kind::Thread:
    case fake::Object::Kind::Process: {
      const fake::ChildState& child = *object->child;
      if (child.wait_error) {
        w.last_error() = *child.wait_error;
        return WAIT_FAILED;
      }
      if (child.wait_result) return *child.wait_result;
      // On the virtual clock: the wait ends when the process or thread
      // does, or when the time given is up.
      if (child.ends_at_ns && *child.ends_at_ns <= w.now_ns) return WAIT_OBJECT_0;
      const std::int64_t limit = static_cast<std::int64_t>(dwMilliseconds) * 1'000'000;
      if (child.ends_at_ns && (dwMilliseconds == INFINITE || *child.ends_at_ns <= w.now_ns + limit)) {
        w.now_ns = *child.ends_at_ns;
        return WAIT_OBJECT_0;
      }
      if (dwMilliseconds == INFINITE) throw std::logic_error("WaitForSingleObject: waits for ever");
      w.now_ns += limit;
      return WAIT_TIMEOUT;
    }
    case fake::Object::Kind::Timer: {
      if (w.timer_wait_error) {
        w.last_error() = *w.timer_wait_error;
        return WAIT_FAILED;
      }
      const auto due = object->timer->due.value_or(0);
      if (due < 0) w.now_ns += -due * 100;
      return WAIT_OBJECT_0;
    }
    case fake::Object::Kind::Stream: {
      // Completes the pending I/O on this handle, if any.
      const auto it = w.pending_io.find(static_cast<std::uintptr_t>(hHandle));
      if (it != w.pending_io.end()) {
        if (!it->second.still_pending) {
          it->second.block->Status = it->second.status;
          it->second.block->Information = it->second.information;
        }
        w.pending_io.erase(it);
      }
      return WAIT_OBJECT_0;
    }
    default: return WAIT_OBJECT_0;
  }
}

BOOL GetExitCodeProcess(HANDLE hProcess, DWORD* lpExitCode) {
  auto& w = world();
  log("GetExitCodeProcess");
  const auto object = w.object_of(hProcess);
  if (!object || object->kind != fake::Object::Kind::Process) {
    w.last_error() = ERROR_INVALID_HANDLE;
    return 0;
  }
  if (object->child->exit_code_error) {
    w.last_error() = *object->child->exit_code_error;
    return 0;
  }
  const auto& ends = object->child->ends_at_ns;
  // STILL_ACTIVE for a process that has not ended.
  *lpExitCode = ends && *ends <= w.now_ns ? object->child->exit_code : 259;
  return 1;
}

BOOL CloseHandle(HANDLE hObject) {
  auto& w = world();
  log("CloseHandle");
  const auto it = w.handles.find(static_cast<std::uintptr_t>(hObject));
  if (it == w.handles.end()) {
    w.last_error() = ERROR_INVALID_HANDLE;
    return 0;
  }
  w.handles.erase(it);
  w.closed.push_back(hObject);
  if (w.close_sets_last_error) w.last_error() = *w.close_sets_last_error;
  return 1;
}

// Real locks (tests may print from two threads); the count lets tests see
// that every lock taken was released.
void AcquireSRWLockExclusive(SRWLOCK* SRWLock) {
  auto* word = reinterpret_cast<std::atomic<void*>*>(&SRWLock->Ptr);
  void* expected = nullptr;
  while (!word->compare_exchange_weak(expected, reinterpret_cast<void*>(1), std::memory_order_acquire)) {
    expected = nullptr;
    std::this_thread::yield();
  }
  std::atomic_ref<int>(world().locks_held).fetch_add(1);
}

BOOLEAN TryAcquireSRWLockExclusive(SRWLOCK* SRWLock) {
  auto* word = reinterpret_cast<std::atomic<void*>*>(&SRWLock->Ptr);
  void* expected = nullptr;
  if (!word->compare_exchange_strong(expected, reinterpret_cast<void*>(1), std::memory_order_acquire)) return 0;
  std::atomic_ref<int>(world().locks_held).fetch_add(1);
  return 1;
}

void ReleaseSRWLockExclusive(SRWLOCK* SRWLock) {
  auto* word = reinterpret_cast<std::atomic<void*>*>(&SRWLock->Ptr);
  std::atomic_ref<int>(world().locks_held).fetch_sub(1);
  word->store(nullptr, std::memory_order_release);
}

DWORD GetCurrentThreadId() {
  // Never 0, which the program reads as "no owner".
  return static_cast<DWORD>(std::hash<std::thread::id>{}(std::this_thread::get_id()) | 1);
}

HANDLE CreateWaitableTimerExW(const void* lpTimerAttributes, const char16_t* lpTimerName, DWORD dwFlags,
                              DWORD dwDesiredAccess) {
  auto& w = world();
  log("CreateWaitableTimerExW");
  w.timer_creates.push_back({dwFlags, dwDesiredAccess, lpTimerAttributes == nullptr, lpTimerName == nullptr});
  if (w.timer_create_fails) {
    w.last_error() = ERROR_INVALID_PARAMETER;
    return NULL_HANDLE;
  }
  auto object = std::make_shared<fake::Object>();
  object->kind = fake::Object::Kind::Timer;
  object->timer = std::make_shared<fake::Timer>();
  object->label = "timer";
  return w.add_object(object);
}

BOOL SetWaitableTimer(HANDLE hTimer, const LONGLONG* lpDueTime, std::int32_t lPeriod, void* pfnCompletionRoutine,
                      void* lpArgToCompletionRoutine, BOOL fResume) {
  auto& w = world();
  log("SetWaitableTimer(" + std::to_string(*lpDueTime) + ")");
  w.timer_sets.push_back(
      {*lpDueTime, lPeriod, pfnCompletionRoutine == nullptr && lpArgToCompletionRoutine == nullptr, fResume});
  const auto object = w.object_of(hTimer);
  if (!object || object->kind != fake::Object::Kind::Timer) {
    w.last_error() = ERROR_INVALID_HANDLE;
    return 0;
  }
  if (w.timer_set_error) {
    w.last_error() = *w.timer_set_error;
    return 0;
  }
  object->timer->due = *lpDueTime;
  return 1;
}

void Sleep(DWORD dwMilliseconds) {
  auto& w = world();
  log("Sleep(" + std::to_string(dwMilliseconds) + ")");
  w.sleeps.push_back(dwMilliseconds);
  w.now_ns +=
      w.sleep_advance_ns ? w.sleep_advance_ns(dwMilliseconds) : static_cast<std::int64_t>(dwMilliseconds) * 1'000'000;
}

BOOL QueryPerformanceCounter(LONGLONG* lpPerformanceCount) {
  auto& w = world();
  log("QueryPerformanceCounter");
  if (w.qpc_error) {
    w.last_error() = *w.qpc_error;
    return 0;
  }
  if (w.on_QueryPerformanceCounter) return w.on_QueryPerformanceCounter(lpPerformanceCount) ? 1 : 0;
  // The counter runs at qpc_frequency ticks per second of the virtual clock.
  const std::int64_t second = 1'000'000'000;
  *lpPerformanceCount = w.now_ns / second * w.qpc_frequency + w.now_ns % second * w.qpc_frequency / second;
  return 1;
}

BOOL QueryPerformanceFrequency(LONGLONG* lpFrequency) {
  auto& w = world();
  log("QueryPerformanceFrequency");
  if (w.qpf_error) {
    w.last_error() = *w.qpf_error;
    return 0;
  }
  *lpFrequency = w.qpc_frequency;
  return 1;
}

void ExitProcess(UINT uExitCode) {
  log("ExitProcess(" + std::to_string(uExitCode) + ")");
  world().exits.push_back(uExitCode);
  throw fake::ProcessExited{uExitCode};
}

void FastFail(unsigned code) {
  log("FastFail(" + std::to_string(code) + ")");
  throw fake::FailedFast{code};
}

}  // namespace win
