// The exe built with an installer signer, run beside planted copies of
// wintrust.dll, crypt32.dll and version.dll (see planted_libraries.h). It
// imports neither library of its check and loads both from the system
// folder only, so the vendor's installer starts as usual, an unsigned one
// is refused as usual, and no planted copy is ever loaded.
#include <windows.h>

#include <string>
#include <vector>

#include "expected_output.h"
#include "planted_libraries.h"

namespace vant_test {
namespace {

class SignerBesidePlantedLibraries : public PlantedLibraries {
 protected:
  void deliver(const wchar_t* signed_file) {
    const std::wstring payload = helper(L"signer-pki\\signed\\") + signed_file;
    ASSERT_NE(GetFileAttributesW(payload.c_str()), INVALID_FILE_ATTRIBUTES)
        << "no " << to_utf8(payload) << ": make-pki.sh has not run";
    env_[L"VANT_TEST_CURL_PAYLOAD"] = payload;
  }
};

TEST_F(SignerBesidePlantedLibraries, TheVendorsInstallerStartsAndNoneIsLoaded) {
  deliver(L"cn.exe");
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 0u) << result.err;
  EXPECT_EQ(result.out, expected::kSuccessOutput);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(only_record(result.installer, "the installer").units("image"), installer_path());
  EXPECT_EQ(loaded_stand_ins(), std::vector<std::string>{});
}

TEST_F(SignerBesidePlantedLibraries, AnUnsignedInstallerIsRefusedAndNoneIsLoaded) {
  deliver(L"unsigned.exe");
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 1u);
  const auto lines = lines_of(result.err);
  ASSERT_EQ(lines.size(), 3u) << result.err;
  EXPECT_TRUE(is_os_error_line(lines[0], "安装包签名校验失败：", "-2146762496"));  // TRUST_E_NOSIGNATURE
  EXPECT_TRUE(result.installer.empty());
  EXPECT_EQ(loaded_stand_ins(), std::vector<std::string>{});
}

}  // namespace
}  // namespace vant_test
