// Stands in for the downloaded installer: a test has the download tool's
// stand-in copy this program to the installer path. It records how it was
// started (command line, arguments, standard handles, creation time),
// whether the image it runs carries an Authenticode signature, and exits 0. Driven by its environment, passed on by the
// bootstrapper:
//   VANT_TEST_RECORD_DIR        folder that receives installer.txt
//   VANT_TEST_INSTALLER_STDOUT  text written to its standard output
//   VANT_TEST_CHECK_PARENT      "1": also record whether the parent still holds
//                               the standard handles it passed on
#include <windows.h>

#include "support/self_report.h"
#include "support/text.h"

using namespace vant_test;

namespace {

// Read from this process's own headers in memory: what actually started,
// whatever the file at its path holds by now. A signature adds the
// certificate table to the headers; the code is the same either way.
bool image_is_signed() {
  const auto* base = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY].Size != 0;
}

}  // namespace

int main() {
  const StartFacts facts = capture_start();
  RecordBuilder record = describe_start("installer", facts);
  record.field("image_signed", image_is_signed() ? "1" : "0");
  if (environment_variable(L"VANT_TEST_CHECK_PARENT") == L"1") add_parent_holds_check(record);
  store_record("installer", record);

  if (const auto text = environment_variable(L"VANT_TEST_INSTALLER_STDOUT")) {
    write_to_std(STD_OUTPUT_HANDLE, to_utf8(expand_unit_escapes(*text)));
  }
  return 0;
}
