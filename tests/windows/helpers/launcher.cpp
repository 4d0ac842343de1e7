// Starts one program with an exact environment and exact standard handles,
// waits for it and reports how it ended, for scripts that run under Wine
// (wine64 itself passes on only the low 8 bits of an exit code and replaces
// TMP, TEMP and PATH).
//
//   vant_launch [OPTION...] -- PROGRAM [ARGUMENT...]
//     --env NAME=VALUE        an entry of the child's environment (repeatable);
//                             without --keep-env these are all it gets
//     --keep-env              start from this launcher's own environment
//     --limited-token         start it with the linked (unelevated) token;
//                             under Wine every process is elevated otherwise
//     --stdin STREAM, --stdout STREAM, --stderr STREAM
//                             inherit (default: a duplicate of the launcher's
//                             own), none (NULL), nul, file:PATH,
//                             and for --stdin also pipe:TEXT (the writer is
//                             closed once the child runs) or pipe-open:TEXT
//                             (the writer stays open until the child ends)
//     --cwd FOLDER            the child's current folder
//     --timeout-ms N          end the child after N ms (default 60000)
//     --console-output-cp N   SetConsoleOutputCP(N) first; the console is
//                             shared, so the child sees that code page
//     --report FILE           write the report there instead of to stdout
//   Texts may hold {U+XXXX} escapes (any UTF-16 unit, lone surrogates too).
//   The command line is PROGRAM in quotes, then each ARGUMENT quoted as
//   CommandLineToArgvW expects.
//
// The report is "key=value" lines (see report_text): started, exit_code (all
// 32 bits, decimal), exit_code_hex, timed_out, elapsed_ms, and the child's
// creation and exit times. Exit status: 0 the child ran and ended, 2 usage,
// 3 the start failed, 4 the child was ended after the timeout.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "support/launch.h"
#include "support/text.h"

using namespace vant_test;

namespace {

int usage(const std::string& problem) {
  const std::string text = "vant_launch: " + problem + "\nusage: vant_launch [OPTION...] -- PROGRAM [ARGUMENT...]\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  return 2;
}

std::optional<StdStream> parse_stream(const std::wstring& text) {
  const auto after = [&](std::wstring_view prefix) { return text.substr(prefix.size()); };
  if (text == L"inherit") return StdStream::inherit();
  if (text == L"none") return StdStream::none();
  if (text == L"nul") return StdStream::nul();
  if (text.starts_with(L"file:")) return StdStream::file(after(L"file:"));
  if (text.starts_with(L"pipe:")) return StdStream::pipe(to_utf8(after(L"pipe:")), false);
  if (text.starts_with(L"pipe-open:")) return StdStream::pipe(to_utf8(after(L"pipe-open:")), true);
  return std::nullopt;
}

bool write_all(HANDLE handle, const std::string& text) {
  DWORD written = 0;
  return WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

}  // namespace

int main() {
  keep_own_std_handles_private();
  int argc = 0;
  wchar_t** raw = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) args.push_back(expand_unit_escapes(raw[i]));
  LocalFree(raw);

  LaunchRequest request;
  std::wstring report_path;
  std::size_t i = 0;
  for (; i < args.size() && args[i] != L"--"; ++i) {
    const std::wstring& option = args[i];
    const bool has_value = i + 1 < args.size();
    const std::wstring value = has_value ? args[i + 1] : std::wstring();
    if (option == L"--keep-env") {
      request.keep_environment = true;
      continue;
    }
    if (option == L"--limited-token") {
      request.limited_token = true;
      continue;
    }
    if (!has_value) return usage("missing value after " + to_utf8(option));
    ++i;
    if (option == L"--env") {
      if (value.find(L'=', 1) == std::wstring::npos) return usage("--env needs NAME=VALUE");
      request.environment.push_back(value);
    } else if (option == L"--stdin" || option == L"--stdout" || option == L"--stderr") {
      const auto stream = parse_stream(value);
      if (!stream) return usage("bad stream " + to_utf8(value));
      (option == L"--stdin" ? request.std_in : option == L"--stdout" ? request.std_out : request.std_err) = *stream;
    } else if (option == L"--cwd") {
      request.current_folder = value;
    } else if (option == L"--timeout-ms") {
      const auto ms = parse_u32(value);
      if (!ms) return usage("bad --timeout-ms");
      request.timeout_ms = *ms;
    } else if (option == L"--console-output-cp") {
      const auto cp = parse_u32(value);
      if (!cp) return usage("bad --console-output-cp");
      request.console_output_cp = *cp;
    } else if (option == L"--report") {
      report_path = value;
    } else {
      return usage("unknown option " + to_utf8(option));
    }
  }
  if (i + 1 >= args.size()) return usage("no program after --");
  request.application = args[i + 1];
  request.command_line = L"\"" + request.application + L"\"";
  for (std::size_t k = i + 2; k < args.size(); ++k) request.command_line += L" " + quote_argument(args[k]);

  const LaunchResult result = launch(request);
  const std::string report = report_text(result);
  if (report_path.empty()) {
    write_all(GetStdHandle(STD_OUTPUT_HANDLE), report);
  } else {
    const HANDLE file = CreateFileW(report_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE || !write_all(file, report)) return usage("cannot write the report");
    CloseHandle(file);
  }
  if (!result.started) return 3;
  return result.timed_out ? 4 : 0;
}
