// Stands in for the download tool ("curl.exe" wherever a test puts it). It
// records exactly how it was started, then does what the test asked through
// its environment, which the bootstrapper passes on unchanged:
//   VANT_TEST_RECORD_DIR      folder that receives curl.txt (one block per run)
//   VANT_TEST_CURL_PAYLOAD    file copied to the path after "-o"; unset: no file
//   VANT_TEST_CURL_STDOUT     text written to its standard output
//   VANT_TEST_CURL_STDERR     text written to its standard error
//   VANT_TEST_CURL_EXIT       exit code, decimal or 0x-hex, all 32 bits (default 0)
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

}  // namespace

int main() {
  const StartFacts facts = capture_start();
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

  const auto code = environment_variable(L"VANT_TEST_CURL_EXIT");
  ExitProcess(code ? parse_u32(*code).value_or(0xBADC0DE) : 0);
}
