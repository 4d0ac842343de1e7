// Fixture for tests that run the whole driver against the fake Windows:
// files or pipes on the standard streams, a temporary folder, curl.exe in
// the system folder, and run() to catch the end of the process.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "fake_windows.h"
#include "support/seam_test.h"

namespace vant::testing {

inline constexpr char16_t kRunTemp[] = u"C:\\Users\\user\\AppData\\Local\\Temp\\";
inline constexpr char16_t kRunCurl[] = u"C:\\Windows\\system32\\curl.exe";
inline constexpr char16_t kRunInstaller[] = u"C:\\Users\\user\\AppData\\Local\\Temp\\vant_installer_latest.exe";

// The output stream's fixed parts, written out independently of the program.
inline const std::string kRunBanner =
    "========================================\n"
    "  VANT 进销存 安装程序\n"
    "========================================\n"
    "\n"
    "正在从服务器获取最新版本，请稍候...\n"
    "（此过程需要网络连接，约需 1-3 分钟）\n"
    "\n";
inline const std::string kRunLaunching =
    "\n"
    "下载完成，正在启动安装程序...\n"
    "（安装完成后此窗口将自动关闭）\n"
    "\n";
inline const std::string kRunPrompt = "\n按 Enter 键退出...\n";

struct RunOutcome {
  std::optional<win::DWORD> exit_code;  // ExitProcess
  std::optional<unsigned> fail_fast;    // FastFail
  std::string out;
  std::string err;
};

class DriverRun : public SeamTest {
 protected:
  void SetUp() override;

  // curl ends with `code`; with `writes_installer` it leaves the file
  // behind, as a successful download does.
  void curl_exits(win::DWORD code, bool writes_installer);
  // Once curl has left the installer, another program (a virus scanner)
  // keeps it open for reading, sharing nothing, until
  // fake::FakeWindows::other_party_lets_go.
  void scanner_holds_installer_after_curl();

  RunOutcome run();

  // The programs started (CreateProcessW), but for the question of curl's
  // version (curl -V), which version_probes() gives.
  std::vector<fake::CreateProcessCall> created() const;
  std::vector<fake::CreateProcessCall> version_probes() const;

  fake::FakeWindows::StdStreams streams_;
};

}  // namespace vant::testing
