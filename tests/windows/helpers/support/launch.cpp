#include "support/launch.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <utility>

#include "platform/unique_resource.h"
#include "support/text.h"

namespace vant_test {

namespace {

// The launcher's handles, with the program's one owner template.
struct HandleTraits {
  using Value = HANDLE;
  static constexpr Value kNone = nullptr;
  static bool is_none(Value handle) { return handle == nullptr || handle == INVALID_HANDLE_VALUE; }
  void close(Value handle) const { CloseHandle(handle); }
};
using Handle = vant::UniqueResource<HandleTraits>;

std::uint64_t ticks(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

struct Failure {
  std::string step;
  DWORD error;
};

// The child's handle for one stream; an input and an output differ only in
// the access asked for.
std::optional<Failure> open_stream(const StdStream& stream, DWORD which, bool is_input, Handle& child_end,
                                   Handle& pipe_writer) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const DWORD access = is_input ? GENERIC_READ : GENERIC_WRITE;
  switch (stream.kind) {
    case StdStream::Kind::None: return std::nullopt;
    case StdStream::Kind::Inherit: {
      const HANDLE own = GetStdHandle(which);
      if (own == nullptr || own == INVALID_HANDLE_VALUE) return std::nullopt;
      HANDLE copy = nullptr;
      if (!DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
        return Failure{"DuplicateHandle", GetLastError()};
      }
      child_end.reset(copy);
      return std::nullopt;
    }
    case StdStream::Kind::Nul:
    case StdStream::Kind::File: {
      const bool nul = stream.kind == StdStream::Kind::Nul;
      const HANDLE file = CreateFileW(nul ? L"NUL" : stream.path.c_str(), access,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inheritable,
                                      is_input || nul ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE) return Failure{"CreateFileW", GetLastError()};
      child_end.reset(file);
      return std::nullopt;
    }
    case StdStream::Kind::Pipe: {
      // Only standard input is fed from a pipe; outputs go to files so that
      // nothing has to drain them while the child runs.
      if (!is_input) return Failure{"pipe for an output", ERROR_INVALID_PARAMETER};
      HANDLE reader = nullptr, writer = nullptr;
      if (!CreatePipe(&reader, &writer, nullptr, 65536)) return Failure{"CreatePipe", GetLastError()};
      child_end.reset(reader);
      pipe_writer.reset(writer);
      if (!SetHandleInformation(reader, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) {
        return Failure{"SetHandleInformation", GetLastError()};
      }
      DWORD written = 0;
      if (!stream.bytes.empty() &&
          !WriteFile(writer, stream.bytes.data(), static_cast<DWORD>(stream.bytes.size()), &written, nullptr)) {
        return Failure{"WriteFile", GetLastError()};
      }
      return std::nullopt;
    }
  }
  return std::nullopt;
}

std::wstring variable_name(std::wstring_view entry) {
  // "=C:=C:\dir" style entries have a name that starts with '='.
  const std::size_t eq = entry.find(L'=', 1);
  std::wstring name(entry.substr(0, eq == std::wstring_view::npos ? entry.size() : eq));
  for (wchar_t& c : name) c = static_cast<wchar_t>(std::towupper(c));
  return name;
}

std::wstring environment_block(const LaunchRequest& request) {
  std::vector<std::wstring> entries;
  if (request.keep_environment) {
    wchar_t* own = GetEnvironmentStringsW();
    for (const wchar_t* p = own; p != nullptr && *p != L'\0'; p += wcslen(p) + 1) entries.emplace_back(p);
    if (own != nullptr) FreeEnvironmentStringsW(own);
  }
  for (const std::wstring& entry : request.environment) {
    std::erase_if(entries, [&](const std::wstring& e) { return variable_name(e) == variable_name(entry); });
    entries.push_back(entry);
  }
  std::wstring block;
  for (const std::wstring& entry : entries) block.append(entry).push_back(L'\0');
  if (entries.empty()) block.push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

// Samples the child's private bytes until it ends or the time is up.
void watch_memory(HANDLE child, DWORD timeout_ms, LaunchResult& result) {
  const ULONGLONG until = GetTickCount64() + timeout_ms;
  for (;;) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (K32GetProcessMemoryInfo(child, &counters, sizeof counters)) {
      ++result.memory_samples;
      result.most_private_bytes = std::max<std::uint64_t>(result.most_private_bytes, counters.PagefileUsage);
      result.peak_private_bytes = std::max<std::uint64_t>(result.peak_private_bytes, counters.PeakPagefileUsage);
    }
    if (WaitForSingleObject(child, 10) != WAIT_TIMEOUT || GetTickCount64() >= until) return;
  }
}

// The unelevated twin of this process's token, as a primary token.
std::optional<Failure> limited_token(Handle& token) {
  HANDLE own = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &own)) {
    return Failure{"OpenProcessToken", GetLastError()};
  }
  const Handle own_token(own);
  TOKEN_LINKED_TOKEN linked{};
  DWORD size = 0;
  if (!GetTokenInformation(own_token.get(), TokenLinkedToken, &linked, sizeof linked, &size)) {
    return Failure{"GetTokenInformation(TokenLinkedToken)", GetLastError()};
  }
  const Handle linked_token(linked.LinkedToken);
  HANDLE primary = nullptr;
  if (!DuplicateTokenEx(linked_token.get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary, &primary)) {
    return Failure{"DuplicateTokenEx", GetLastError()};
  }
  token.reset(primary);
  return std::nullopt;
}

}  // namespace

std::wstring quote_argument(std::wstring_view argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring_view::npos) {
    return std::wstring(argument);
  }
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
    } else if (c == L'"') {
      out.append(backslashes + 1, L'\\');
      backslashes = 0;
    } else {
      backslashes = 0;
    }
    out += c;
  }
  out.append(backslashes, L'\\');
  out += L'"';
  return out;
}

void keep_own_std_handles_private() {
  for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    const HANDLE handle = GetStdHandle(which);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
  }
}

LaunchResult launch(const LaunchRequest& request) {
  LaunchResult result;
  const auto fail = [&](const Failure& failure) {
    result.failed_step = failure.step;
    result.error = failure.error;
    return result;
  };

  Handle child_in, child_out, child_err, in_writer, no_writer;
  if (auto f = open_stream(request.std_in, STD_INPUT_HANDLE, true, child_in, in_writer)) return fail(*f);
  if (auto f = open_stream(request.std_out, STD_OUTPUT_HANDLE, false, child_out, no_writer)) return fail(*f);
  const bool shared_output_file = request.std_err.kind == StdStream::Kind::File &&
                                  request.std_out.kind == StdStream::Kind::File &&
                                  request.std_err.path == request.std_out.path;
  if (shared_output_file) {
    // One file object for both, so the two streams share one position and
    // append after each other instead of overwriting.
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), child_out.get(), GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
      return fail({"DuplicateHandle", GetLastError()});
    }
    child_err.reset(copy);
  } else if (auto f = open_stream(request.std_err, STD_ERROR_HANDLE, false, child_err, no_writer)) {
    return fail(*f);
  }

  // Always STARTF_USESTDHANDLES, even with three NULLs: without it the child
  // would get this process's own handles, which are kept private.
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = child_in.get();
  startup.hStdOutput = child_out.get();
  startup.hStdError = child_err.get();

  if (request.console_output_cp && !SetConsoleOutputCP(*request.console_output_cp)) {
    return fail({"SetConsoleOutputCP", GetLastError()});
  }

  std::wstring command_line = request.command_line.empty() ? L"\"" + request.application + L"\"" : request.command_line;
  std::wstring environment = environment_block(request);
  Handle token;
  if (request.limited_token) {
    if (auto f = limited_token(token)) return fail(*f);
  }
  PROCESS_INFORMATION process{};
  LARGE_INTEGER frequency, started, ended;
  QueryPerformanceFrequency(&frequency);
  result.start_ticks = now_ticks();
  QueryPerformanceCounter(&started);
  const wchar_t* application = request.application.empty() ? nullptr : request.application.c_str();
  const wchar_t* current_folder = request.current_folder.empty() ? nullptr : request.current_folder.c_str();
  const bool child_started =
      token.get() != nullptr
          ? CreateProcessAsUserW(token.get(), application, command_line.data(), nullptr, nullptr, TRUE,
                                 CREATE_UNICODE_ENVIRONMENT, environment.data(), current_folder, &startup, &process)
          : CreateProcessW(application, command_line.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                           environment.data(), current_folder, &startup, &process);
  if (!child_started) return fail({token.get() != nullptr ? "CreateProcessAsUserW" : "CreateProcessW", GetLastError()});
  result.started = true;
  result.pid = process.dwProcessId;
  Handle child(process.hProcess), thread(process.hThread);
  // The child has its own copies now; ours would keep a pipe or file open.
  child_in.reset();
  child_out.reset();
  child_err.reset();
  if (request.std_in.kind == StdStream::Kind::Pipe && !request.std_in.keep_open) in_writer.reset();

  if (request.sample_memory) watch_memory(child.get(), request.timeout_ms, result);
  if (WaitForSingleObject(child.get(), request.timeout_ms) != WAIT_OBJECT_0) {
    result.timed_out = true;
    TerminateProcess(child.get(), 0xDEAD0001);
    WaitForSingleObject(child.get(), INFINITE);
  }
  QueryPerformanceCounter(&ended);
  result.waited_ticks = now_ticks();
  in_writer.reset();
  GetExitCodeProcess(child.get(), &result.exit_code);
  FILETIME creation{}, exited{}, kernel{}, user{};
  if (GetProcessTimes(child.get(), &creation, &exited, &kernel, &user)) {
    result.creation_ticks = ticks(creation);
    result.exit_ticks = ticks(exited);
  }
  result.elapsed_ms = static_cast<double>(ended.QuadPart - started.QuadPart) * 1000.0 / frequency.QuadPart;
  return result;
}

std::string report_text(const LaunchResult& result) {
  char text[1024];
  if (!result.started) {
    snprintf(text, sizeof text, "started=0\nfailed_step=%s\nerror=%lu\n", result.failed_step.c_str(),
             static_cast<unsigned long>(result.error));
    return text;
  }
  snprintf(text, sizeof text,
           "started=1\npid=%lu\nexit_code=%lu\nexit_code_hex=0x%08lX\ntimed_out=%d\nelapsed_ms=%.1f\n"
           "start_ticks=%llu\ncreation_ticks=%llu\nexit_ticks=%llu\nwaited_ticks=%llu\n",
           static_cast<unsigned long>(result.pid), static_cast<unsigned long>(result.exit_code),
           static_cast<unsigned long>(result.exit_code), result.timed_out ? 1 : 0, result.elapsed_ms,
           static_cast<unsigned long long>(result.start_ticks), static_cast<unsigned long long>(result.creation_ticks),
           static_cast<unsigned long long>(result.exit_ticks), static_cast<unsigned long long>(result.waited_ticks));
  return text;
}

}  // namespace vant_test
