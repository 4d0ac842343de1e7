// The fixture of the integration tests: every test gets a fresh scratch
// folder with its own copy of vant-setup.exe, the download tool's stand-in
// beside it, an empty temporary folder and a folder for the stand-ins'
// records; it then starts the copy through the launch code with an exact
// environment and exact standard handles and collects what came out.
//
// Scratch layout (<exe folder>\scratch\<suite>.<test>\):
//   app\vant-setup.exe, app\curl.exe   the program and, by default, curl
//   tmp\                               TMP and TEMP
//   records\                           curl.txt, installer.txt
//   out.txt, err.txt                   standard output and error
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "support/launch.h"
#include "support/record.h"

namespace vant_test {

struct RunResult {
  LaunchResult launch;
  std::string out;  // the bytes of out.txt, when standard output went there
  std::string err;  // the bytes of err.txt, when standard error went there
  std::vector<Record> curl;
  std::vector<Record> curl_version;  // the runs that asked curl its version
  std::vector<Record> installer;
};

class SetupRun : public ::testing::Test {
 protected:
  void SetUp() override;

  // A folder inside the scratch folder (created with its parents).
  std::wstring folder(std::wstring_view relative) const;
  // A file inside the scratch folder holding the given bytes.
  std::wstring write_file(std::wstring_view relative, std::string_view bytes) const;
  // Copies the download tool's stand-in to <folder>\curl.exe.
  void place_curl(const std::wstring& in_folder) const;
  void remove_curl_beside_program() const;
  // A program built beside the test program (the stand-ins, the launcher).
  static std::wstring helper(std::wstring_view file_name);
  static std::wstring folder_of_this_program();

  // The temporary folder the run gets, given as TMP and TEMP. Windows hands
  // it out with one trailing backslash, whatever TMP ends in.
  void set_temp(const std::wstring& folder_path);
  std::wstring installer_path() const { return temp_ + L"vant_installer_latest.exe"; }

  RunResult run();

  std::wstring scratch_;  // ends in a backslash
  std::wstring app_;
  std::wstring exe_;
  std::wstring temp_;  // as GetTempPathW gives it: trailing backslash
  std::wstring records_;
  std::wstring out_path_;
  std::wstring err_path_;

  // The run's whole environment, NAME -> VALUE (Wine adds a few WINE* and
  // system variables of its own). Set up with TMP, TEMP, a PATH of the
  // system folders (where Wine has no curl), the record folder, and the
  // installer's stand-in as the download tool's payload.
  std::map<std::wstring, std::wstring> env_;
  StdStream std_in_ = StdStream::nul();
  StdStream std_out_;
  StdStream std_err_;
  std::wstring current_folder_;
  DWORD timeout_ms_ = 30000;    // times VANT_TEST_TIME_SCALE (see run())
  bool sample_memory_ = false;  // watch the run's private bytes
  // Run with the linked token: unelevated, as a standard user's or an
  // administrator's unelevated run. Under Wine every process is elevated
  // otherwise; the elevated run has tests of its own.
  bool limited_token_ = true;
};

// Names the cases of a table after their "name" field.
struct CaseName {
  template <class Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    return info.param.name;
  }
};

// The one complete record a stand-in left; fails the test otherwise.
const Record& only_record(const std::vector<Record>& records, const char* who);

// Splits bytes into lines, each with its line feed.
std::vector<std::string> lines_of(const std::string& text);

// Checks "<prefix><Windows' description> (os error <code>)\n": the wording of
// the description is the system's own (Wine's differs from Windows'), so only
// its presence is checked. An empty code accepts any number.
::testing::AssertionResult is_os_error_line(const std::string& line, const std::string& prefix,
                                            const std::string& code);

}  // namespace vant_test
