// Each start makes inheritable duplicates of the three standard handles for
// the child and must close them right after CreateProcessW. A duplicate left
// open is inherited by every later child and keeps files and pipes open.
//
// Handle counts cannot show this under Wine (GetProcessHandleCount always
// says 0), so the stand-ins look for the duplicates themselves:
//  - An inherited handle has the value its source had in the parent. Each
//    child asks, with DuplicateHandle on the parent process, whether the
//    parent still holds a handle to the same file under each of its own
//    standard handle values; the parent has to have closed them (a value
//    reused meanwhile for another object counts as closed).
//  - A child holds, as inheritable, exactly what it inherited. The installer
//    starts after the download tool, so duplicates left over from the
//    download tool's start would show up as extra inheritable handles of the
//    installer: both children must hold the same number.
// Standard handles are files here so that a duplicate can be recognised.
#include <string>

#include "setup_run.h"

namespace vant_test {
namespace {

using HandleHygiene = SetupRun;

TEST_F(HandleHygiene, NoDuplicateStaysOpenAfterEitherStart) {
  env_[L"VANT_TEST_CHECK_PARENT"] = L"1";
  std_in_ = StdStream::file(write_file(L"in.txt", ""));
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 0u);
  const Record& curl = only_record(result.curl, "curl");
  const Record& installer = only_record(result.installer, "the installer");
  for (const Record* child : {&curl, &installer}) {
    const std::string who = child->get("role");
    EXPECT_EQ(child->get("parent_holds.stdin"), "0") << who;
    EXPECT_EQ(child->get("parent_holds.stdout"), "0") << who;
    EXPECT_EQ(child->get("parent_holds.stderr"), "0") << who;
  }
  EXPECT_EQ(installer.get("inheritable.count"), curl.get("inheritable.count"))
      << "download tool: " << curl.get("inheritable.values") << "\ninstaller: " << installer.get("inheritable.values");
}

}  // namespace
}  // namespace vant_test
