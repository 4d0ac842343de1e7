#include "support/self_report.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/text.h"

namespace vant_test {

namespace {

std::uint64_t ticks(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::wstring module_path() {
  std::vector<wchar_t> buffer(1024);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring current_folder() {
  const DWORD n = GetCurrentDirectoryW(0, nullptr);
  std::wstring folder(n, L'\0');
  const DWORD got = GetCurrentDirectoryW(n, folder.data());
  folder.resize(got);
  return folder;
}

DWORD parent_pid() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  DWORD parent = 0;
  const DWORD self = GetCurrentProcessId();
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == self) {
      parent = entry.th32ParentProcessID;
      break;
    }
  }
  CloseHandle(snapshot);
  return parent;
}

void describe_std(RecordBuilder& record, const char* name, DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  char value[32];
  snprintf(value, sizeof value, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(handle)));
  record.field(std::string(name) + ".handle", value);
  std::string kind;
  if (handle == nullptr) {
    kind = "none";
  } else if (handle == INVALID_HANDLE_VALUE) {
    kind = "invalid";
  } else {
    SetLastError(0);
    const DWORD type = GetFileType(handle);
    DWORD mode = 0;
    if (type == FILE_TYPE_CHAR) {
      kind = GetConsoleMode(handle, &mode) ? "console" : "char";
    } else if (type == FILE_TYPE_DISK) {
      kind = "disk";
      wchar_t path[1024];
      const DWORD n = GetFinalPathNameByHandleW(handle, path, 1024, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
      if (n > 0 && n < 1024) record.units(std::string(name) + ".path", std::wstring_view(path, n));
    } else if (type == FILE_TYPE_PIPE) {
      kind = "pipe";
    } else {
      kind = GetLastError() == 0 ? "unknown" : "bad";
    }
  }
  record.field(name, kind);
}

// Which file a handle refers to, for disk files only.
struct FileIdentity {
  DWORD volume;
  DWORD index_high;
  DWORD index_low;
  bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> file_identity(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

// Handle values are multiples of 4 handed out lowest first; a stand-in holds
// a few dozen, so the first 1024 values cover them many times over.
void describe_inheritable_handles(RecordBuilder& record) {
  unsigned count = 0;
  std::string values;
  for (std::uintptr_t value = 4; value < 4 * 1024; value += 4) {
    const HANDLE handle = reinterpret_cast<HANDLE>(value);
    DWORD flags = 0;
    if (!GetHandleInformation(handle, &flags) || (flags & HANDLE_FLAG_INHERIT) == 0) continue;
    ++count;
    char text[32];
    snprintf(text, sizeof text, "%s0x%llx", values.empty() ? "" : " ", static_cast<unsigned long long>(value));
    values += text;
  }
  record.number("inheritable.count", count);
  record.field("inheritable.values", values);
}

}  // namespace

StartFacts capture_start() { return StartFacts{now_ticks()}; }

RecordBuilder describe_start(std::string_view role, const StartFacts& facts) {
  RecordBuilder record(role);
  record.number("pid", GetCurrentProcessId());
  record.number("parent_pid", parent_pid());
  record.units("image", module_path());
  FILETIME created{}, exited{}, kernel{}, user{};
  if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
    record.number("creation_ticks", ticks(created));
  }
  record.number("main_ticks", facts.main_ticks);

  const wchar_t* command_line = GetCommandLineW();
  record.units("command_line", command_line);
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(command_line, &argc);
  if (argv != nullptr) {
    record.number("argc", static_cast<unsigned>(argc));
    for (int i = 0; i < argc; ++i) record.units("arg." + std::to_string(i), argv[i]);
    LocalFree(argv);
  }
  record.units("cwd", current_folder());
  for (const wchar_t* name : {L"CURL_CA_BUNDLE", L"SSL_CERT_FILE", L"SSL_CERT_DIR", L"SSLKEYLOGFILE",
                              L"CURL_SSL_BACKEND", L"https_proxy", L"TEMP", L"TMP"}) {
    wchar_t value[1024];
    const DWORD n = GetEnvironmentVariableW(name, value, 1024);
    if (n > 0 && n < 1024) record.units("env." + to_utf8(name), std::wstring(value, n));
  }
  describe_std(record, "stdin", STD_INPUT_HANDLE);
  describe_std(record, "stdout", STD_OUTPUT_HANDLE);
  describe_std(record, "stderr", STD_ERROR_HANDLE);
  describe_inheritable_handles(record);
  return record;
}

void add_parent_holds_check(RecordBuilder& record) {
  const HANDLE parent = OpenProcess(PROCESS_DUP_HANDLE, FALSE, parent_pid());
  if (parent == nullptr) {
    record.number("parent_holds.error", GetLastError());
    return;
  }
  struct Probe {
    const char* name;
    HANDLE value;
    std::optional<FileIdentity> identity;
    bool held;
  };
  std::vector<Probe> probes;
  for (const auto& [name, which] : {std::pair{"stdin", STD_INPUT_HANDLE}, std::pair{"stdout", STD_OUTPUT_HANDLE},
                                    std::pair{"stderr", STD_ERROR_HANDLE}}) {
    const HANDLE value = GetStdHandle(which);
    probes.push_back({name, value, file_identity(value), true});
  }
  const std::uint64_t deadline = now_ticks() + 10'000'000;  // one second
  for (;;) {
    bool any_held = false;
    for (Probe& probe : probes) {
      if (!probe.identity) continue;
      HANDLE copy = nullptr;
      probe.held = DuplicateHandle(parent, probe.value, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS) &&
                   file_identity(copy) == probe.identity;
      if (copy != nullptr) CloseHandle(copy);
      any_held = any_held || probe.held;
    }
    if (!any_held || now_ticks() > deadline) break;
    Sleep(10);
  }
  CloseHandle(parent);
  for (const Probe& probe : probes) {
    record.field(std::string("parent_holds.") + probe.name, !probe.identity ? "unchecked" : probe.held ? "1" : "0");
  }
}

void store_record(std::string_view role, const RecordBuilder& record) {
  const auto folder = environment_variable(L"VANT_TEST_RECORD_DIR");
  if (!folder || folder->empty()) return;
  std::wstring path = *folder;
  if (path.back() != L'\\') path += L'\\';
  path += from_utf8(role) + L".txt";
  append_record(path, record.finish());
}

void write_to_std(DWORD which, std::string_view bytes) {
  const HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || bytes.empty()) return;
  DWORD written = 0;
  WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace vant_test
