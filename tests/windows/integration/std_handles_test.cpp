// The children share the bootstrapper's standard handles: what the download
// tool and the installer write lands in the same files, in order. Missing
// standard handles are no error: the text is dropped, the children still
// start, and the exit code is the one the run earns.
#include <string>

#include "expected_output.h"
#include "setup_run.h"
#include "support/text.h"

namespace vant_test {
namespace {

using StdHandles = SetupRun;

// The path GetFinalPathNameByHandleW gives, without its "\\?\" prefix.
std::wstring plain_path(const std::optional<std::wstring>& final_path) {
  if (!final_path) return L"(no path)";
  return final_path->starts_with(L"\\\\?\\") ? final_path->substr(4) : *final_path;
}

TEST_F(StdHandles, ChildrenWriteIntoTheRedirectedFilesInOrder) {
  env_[L"VANT_TEST_CURL_STDOUT"] = L"curl output{U+000A}";
  env_[L"VANT_TEST_CURL_STDERR"] = L"curl progress{U+000A}";
  env_[L"VANT_TEST_INSTALLER_STDOUT"] = L"installer output{U+000A}";
  std_in_ = StdStream::file(write_file(L"in.txt", ""));
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 0u);
  // Each line of the bootstrapper reaches the file while it is printed, so
  // the children's lines fall exactly between them.
  EXPECT_EQ(result.out, expected::kBanner + "curl output\n" + expected::kStartingInstaller + "installer output\n");
  EXPECT_EQ(result.err, "curl progress\n");
  for (const auto* records : {&result.curl, &result.installer}) {
    const Record& child = only_record(*records, "a child");
    EXPECT_EQ(child.get("stdin"), "disk");
    EXPECT_EQ(child.get("stdout"), "disk");
    EXPECT_EQ(child.get("stderr"), "disk");
    EXPECT_EQ(plain_path(child.units("stdin.path")), scratch_ + L"in.txt");
    EXPECT_EQ(plain_path(child.units("stdout.path")), out_path_);
    EXPECT_EQ(plain_path(child.units("stderr.path")), err_path_);
  }
}

struct MissingCase {
  const char* name;
  bool in, out, err;  // which standard handles the bootstrapper gets
  const char* curl_exit;
  unsigned exit_code;
};

class MissingStdHandles : public SetupRun, public ::testing::WithParamInterface<MissingCase> {};

TEST_P(MissingStdHandles, StillEndWithTheRightExitCode) {
  const MissingCase& c = GetParam();
  if (!c.in) std_in_ = StdStream::none();
  if (!c.out) std_out_ = StdStream::none();
  if (!c.err) std_err_ = StdStream::none();
  env_[L"VANT_TEST_CURL_EXIT"] = from_utf8(c.curl_exit);
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, c.exit_code);
  EXPECT_EQ(result.curl.size(), 1u);
  EXPECT_EQ(result.installer.size(), c.exit_code == 0 ? 1u : 0u);
  if (c.out) {
    EXPECT_EQ(result.out, c.exit_code == 0 ? expected::kSuccessOutput : expected::kBanner + expected::kPressEnter);
  }
  if (c.err) {
    EXPECT_EQ(result.err, c.exit_code == 0 ? "" : expected::download_failed(c.curl_exit));
  }
  // With at least one handle present, the children get exactly the same
  // set: a missing one stays missing (NULL) instead of some default.
  if (c.in || c.out || c.err) {
    const Record& curl = only_record(result.curl, "curl");
    EXPECT_EQ(curl.get("stdin") == "none", !c.in);
    EXPECT_EQ(curl.get("stdout") == "none", !c.out);
    EXPECT_EQ(curl.get("stderr") == "none", !c.err);
  }
}

INSTANTIATE_TEST_SUITE_P(Handles, MissingStdHandles,
                         ::testing::Values(MissingCase{"NoneAtAllSuccess", false, false, false, "0", 0},
                                           MissingCase{"NoneAtAllFailure", false, false, false, "22", 1},
                                           MissingCase{"NoOutputSuccess", true, false, true, "0", 0},
                                           MissingCase{"NoOutputFailure", true, false, true, "22", 1},
                                           MissingCase{"NoErrorFailure", true, true, false, "22", 1},
                                           MissingCase{"NoInputFailure", false, true, true, "22", 1}),
                         CaseName());

}  // namespace
}  // namespace vant_test
