// Libraries planted beside the program under the names of system
// libraries: the stand-ins wintrust.dll, crypt32.dll and version.dll
// (helpers/planted_library.cpp) are copied into the scratch folder's app\,
// beside vant-setup.exe, and leave "<name>.loaded" there when any process
// loads them.
//
// Windows looks in the program's folder first for a library that is not
// one of its KnownDLLs (these three are not). Wine prefers its own builtin
// libraries unless told otherwise, so the programs with these tests run
// with WINEDLLOVERRIDES="wintrust,crypt32,version=n,b" in the environment of
// the Wine command that starts them (CTest sets it): Wine then searches for
// those names as Windows does. The download tool's stand-in runs from a
// folder on PATH rather than beside the program, so that only the
// bootstrapper itself runs from the folder with the planted libraries.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "setup_run.h"
#include "support/text.h"

namespace vant_test {

class PlantedLibraries : public SetupRun {
 protected:
  static constexpr const wchar_t* kNames[] = {L"wintrust.dll", L"crypt32.dll", L"version.dll"};

  void SetUp() override {
    SetupRun::SetUp();
    remove_curl_beside_program();
    const std::wstring tools = folder(L"tools");
    place_curl(tools);
    env_[L"PATH"] = L"C:\\windows\\system32;C:\\windows;" + tools;
    for (const wchar_t* name : kNames) {
      ASSERT_TRUE(CopyFileW(helper(std::wstring(L"planted\\") + name).c_str(), (app_ + L"\\" + name).c_str(), FALSE))
          << "no planted " << to_utf8(name) << " beside the tests: " << GetLastError();
    }
  }

  // Each stand-in that left a marker: "<name> loaded by <program>".
  std::vector<std::string> loaded_stand_ins() const {
    std::vector<std::string> loaded;
    for (const wchar_t* name : kNames) {
      const std::wstring marker = app_ + L"\\" + name + L".loaded";
      if (GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
      const std::string bytes = read_file_bytes(marker).value_or("");
      const std::wstring program(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
      loaded.push_back(to_utf8(name) + " loaded by " + to_utf8(program));
    }
    return loaded;
  }
};

}  // namespace vant_test
