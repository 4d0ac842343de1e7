// Stands in for the download tool ("curl.exe" wherever a test puts it). It
// records exactly how it was started, then does what the test asked through
// its environment, which the bootstrapper passes on unchanged:
//   VANT_TEST_RECORD_DIR      folder that receives curl.txt (one block per run)
//   VANT_TEST_CURL_PAYLOAD    file copied to the path after "-o"; unset: no file
//   VANT_TEST_CURL_STDOUT     text written to its standard output
//   VANT_TEST_CURL_STDERR     text written to its standard error
//   VANT_TEST_CURL_EXIT       exit code, decimal or 0x-hex, all 32 bits (default 0)
//   VANT_TEST_CURL_EXITS      exit codes of the successive downloads, ','
//                             between them, the last one for every later
//                             run (counted in the record folder's
//                             curl-runs.txt); wins over VANT_TEST_CURL_EXIT
//   VANT_TEST_CURL_VERSION    what it writes, with a line feed, when asked
//                             its version (the single argument -V, recorded
//                             in curl-version.txt and nothing else done);
//                             unset: nothing
//   VANT_TEST_CURL_VERSION_WAIT_MS  how long it waits before that answer
//   VANT_TEST_CHECK_PARENT    "1": also record whether the parent still holds
//                             the standard handles it passed on
// Texts may carry {U+XXXX} escapes.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "support/self_report.h"
#include "support/text.h"

using namespace vant_test;

namespace {

std::wstring output_argument() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::wstring target;
  for (int i = 1; argv != nullptr && i + 1 < argc; ++i) {
    if (std::wstring_view(argv[i]) == L"-o") target = argv[i + 1];
  }
  if (argv != nullptr) LocalFree(argv);
  return target;
}

std::string env_text(const wchar_t* name) {
  const auto value = environment_variable(name);
  return value ? to_utf8(expand_unit_escapes(*value)) : std::string();
}

bool asked_version() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const bool asked = argv != nullptr && argc == 2 && std::wstring_view(argv[1]) == L"-V";
  if (argv != nullptr) LocalFree(argv);
  return asked;
}

// The number of this download run, from 0, kept in the record folder.
unsigned next_run_number() {
  const auto folder = environment_variable(L"VANT_TEST_RECORD_DIR");
  if (!folder || folder->empty()) return 0;
  const std::wstring path = *folder + L"\\curl-runs.txt";
  unsigned runs = 0;
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD size = GetFileSize(file, nullptr);
  runs = size == INVALID_FILE_SIZE ? 0 : size;
  DWORD written = 0;
  SetFilePointer(file, 0, nullptr, FILE_END);
  WriteFile(file, "x", 1, &written, nullptr);
  CloseHandle(file);
  return runs;
}

// This run's exit code: the run-th of VANT_TEST_CURL_EXITS, else
// VANT_TEST_CURL_EXIT, else 0.
DWORD exit_code_of_run(unsigned run) {
  if (const auto codes = environment_variable(L"VANT_TEST_CURL_EXITS")) {
    std::wstring_view list = *codes;
    for (unsigned i = 0;; ++i) {
      const std::size_t comma = list.find(L',');
      if (i == run || comma == std::wstring_view::npos) {
        return parse_u32(std::wstring(list.substr(0, comma))).value_or(0xBADC0DE);
      }
      list.remove_prefix(comma + 1);
    }
  }
  const auto code = environment_variable(L"VANT_TEST_CURL_EXIT");
  return code ? parse_u32(*code).value_or(0xBADC0DE) : 0;
}

}  // namespace

int main() {
  const StartFacts facts = capture_start();
  if (asked_version()) {
    store_record("curl-version", describe_start("curl", facts));
    if (const auto wait = environment_variable(L"VANT_TEST_CURL_VERSION_WAIT_MS")) Sleep(parse_u32(*wait).value_or(0));
    if (const auto version = environment_variable(L"VANT_TEST_CURL_VERSION")) {
      write_to_std(STD_OUTPUT_HANDLE, to_utf8(expand_unit_escapes(*version)) + "\n");
    }
    ExitProcess(0);
  }
  const unsigned run = next_run_number();
  RecordBuilder record = describe_start("curl", facts);
  if (environment_variable(L"VANT_TEST_CHECK_PARENT") == L"1") add_parent_holds_check(record);

  const auto payload = environment_variable(L"VANT_TEST_CURL_PAYLOAD");
  const std::wstring target = output_argument();
  if (payload && !target.empty()) {
    if (CopyFileW(expand_unit_escapes(*payload).c_str(), target.c_str(), FALSE)) {
      record.field("payload", "copied");
    } else {
      record.number("payload.error", GetLastError());
    }
  }
  store_record("curl", record);

  write_to_std(STD_OUTPUT_HANDLE, env_text(L"VANT_TEST_CURL_STDOUT"));
  write_to_std(STD_ERROR_HANDLE, env_text(L"VANT_TEST_CURL_STDERR"));

  ExitProcess(exit_code_of_run(run));
}
