// A driver built without an installer signer checks nothing: on every road
// it loads no library, makes no Authenticode call and deletes nothing, and
// the installer a successful download leaves is started as it is.
#include <gtest/gtest.h>

#include <string>

#include "fake_windows.h"
#include "support/driver_run.h"

namespace vant {
namespace {

using testing::DriverRun;
using testing::kRunInstaller;

struct Road {
  const char* name;
  win::DWORD curl_exit;
  bool writes_installer;
  win::DWORD exit_code;
};

class UncheckedInstaller : public DriverRun, public ::testing::WithParamInterface<Road> {};

TEST_P(UncheckedInstaller, NoSignatureFunctionIsCalled) {
  curl_exits(GetParam().curl_exit, GetParam().writes_installer);
  // Even a file that a checking build would refuse is started.
  fake::FileSignature refused = fake::signed_by(u"Other Ltd");
  refused.verdict = win::TRUST_E_BAD_DIGEST;
  w().signatures[kRunInstaller] = refused;

  const testing::RunOutcome outcome = run();
  EXPECT_EQ(outcome.exit_code, GetParam().exit_code);
  for (const char* function : {"WinVerifyTrust", "WTHelperProvDataFromStateData", "WTHelperGetProvSignerFromChain",
                               "CertVerifyCertificateChainPolicy", "CertGetEnhancedKeyUsage", "CertVerifyTimeValidity",
                               "CertGetNameStringW", "DeleteFileW"}) {
    EXPECT_EQ(w().count_calls(function), 0u) << function;
  }
  EXPECT_TRUE(w().trust_calls.empty());
  // Only WinHTTP, for the Windows proxy.
  for (const auto& load : w().loads) EXPECT_EQ(load.name, u"winhttp.dll");
  EXPECT_TRUE(w().delete_requests.empty());
  EXPECT_EQ(outcome.err.find("安装包签名校验失败"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Roads, UncheckedInstaller,
                         ::testing::Values(Road{"Started", 0, true, 0}, Road{"NotStarted", 0, false, 1},
                                           Road{"DownloadFailed", 22, true, 1}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
}  // namespace vant
