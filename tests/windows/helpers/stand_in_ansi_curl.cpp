// Stands in for a curl built without Unicode support, as every curl Windows
// shipped before 8.0.1 is: its arguments come from the C run-time's plain
// `main` (the command line in the ANSI code page) and it writes its output
// with `fopen` (a file name in the ANSI code page). A character that code
// page lacks reaches it as '?', which no file name may hold; like curl it
// then exits 23 (a write error). It records how it was started, as the
// Unicode stand-in does, and also what it received in the ANSI code page:
//   ansi.acp              GetACP()
//   ansi.argc, ansi.arg.N  main's arguments, as hex bytes
//   output                 "written", or output.errno when fopen failed
// Driven by the same variables as the Unicode stand-in:
//   VANT_TEST_RECORD_DIR, VANT_TEST_CURL_PAYLOAD (the file copied to "-o").
// Asked its version (the single argument -V), it records that in
// curl-version.txt and prints nothing: an unknown version, as the oldest.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "support/self_report.h"
#include "support/text.h"

using namespace vant_test;

namespace {

// Copies `from` to `to`, both named in the ANSI code page; 0 or errno.
int copy_file(const char* from, const char* to) {
  std::FILE* in = std::fopen(from, "rb");
  if (in == nullptr) return errno;
  std::FILE* out = std::fopen(to, "wb");
  if (out == nullptr) {
    const int error = errno;
    std::fclose(in);
    return error;
  }
  char buffer[4096];
  std::size_t n = 0;
  int error = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    if (std::fwrite(buffer, 1, n, out) != n) {
      error = errno != 0 ? errno : EIO;
      break;
    }
  }
  std::fclose(in);
  if (std::fclose(out) != 0 && error == 0) error = errno != 0 ? errno : EIO;
  return error;
}

}  // namespace

int main(int argc, char** argv) {
  const StartFacts facts = capture_start();
  if (argc == 2 && std::string_view(argv[1]) == "-V") {
    store_record("curl-version", describe_start("curl", facts));
    return 0;
  }
  RecordBuilder record = describe_start("curl", facts);
  record.number("ansi.acp", GetACP());
  record.number("ansi.argc", static_cast<unsigned>(argc));
  const char* target = nullptr;
  for (int i = 0; i < argc; ++i) {
    record.field("ansi.arg." + std::to_string(i), hex_bytes(argv[i]));
    if (std::string_view(argv[i]) == "-o" && i + 1 < argc) target = argv[i + 1];
  }

  int exit_code = 0;
  const char* payload = std::getenv("VANT_TEST_CURL_PAYLOAD");
  if (payload != nullptr && target != nullptr) {
    if (const int error = copy_file(payload, target); error == 0) {
      record.field("output", "written");
    } else {
      record.number("output.errno", static_cast<unsigned>(error));
      exit_code = 23;
    }
  }
  store_record("curl", record);
  return exit_code;
}
