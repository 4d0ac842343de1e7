// The whole sequence with a driver built with an installer signer (this
// program's VANT_INSTALLER_SIGNER, a Chinese name) and certificate
// authorities (VANT_INSTALLER_SIGNER_CA: the fake's "VANT Test Root" and
// another): the downloaded file is checked after the download messages and
// before the start; only a file signed by that signer under that root, and
// not revoked, is started; any other is deleted and reported.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "fake_windows.h"
#include "support/driver_run.h"
#include "support/installer_attack.h"

#ifndef VANT_INSTALLER_SIGNER
#error "these tests run the driver built with an installer signer"
#endif

namespace vant {
namespace {

using testing::DriverRun;
using ::testing::ElementsAre;
using testing::kRunBanner;
using testing::kRunInstaller;
using testing::kRunLaunching;
using testing::kRunPrompt;

const std::u16string kSigner = u"" VANT_INSTALLER_SIGNER;
const std::string kRefused = "安装包签名校验失败：";
const std::string kNotStarted = "为安全起见，安装程序未启动。\n";
const std::string kCheckNetwork = "请检查网络连接后重试，或联系客服获取安装包。\n";

class SignerDriver : public DriverRun {
 protected:
  void SetUp() override {
    DriverRun::SetUp();
    static_assert(sizeof(VANT_INSTALLER_SIGNER) > 1);
    streams_.input->readable = "\r\n";
    curl_exits(0, true);
  }

  // The installer was not started, its file is gone, the verify state was
  // closed, and the prompt read its line.
  void expect_refused_and_deleted() {
    EXPECT_EQ(created().size(), 1u) << "the installer was started";
    EXPECT_FALSE(w().exists(kRunInstaller));
    EXPECT_THAT(w().delete_requests, ElementsAre(kRunInstaller));
    EXPECT_TRUE(w().trust_states.empty());
    EXPECT_TRUE(w().timer_sets.empty());
    EXPECT_GE(w().count_calls("NtReadFile"), 1u);
  }
};

TEST_F(SignerDriver, TheVendorsInstallerIsStartedAsWithoutTheCheck) {
  w().signatures[kRunInstaller] = fake::signed_by(kSigner);
  const testing::RunOutcome outcome = run();

  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.out, kRunBanner + kRunLaunching);
  EXPECT_EQ(outcome.err, "");
  ASSERT_EQ(created().size(), 2u);
  EXPECT_EQ(created()[1].application, kRunInstaller);
  EXPECT_TRUE(w().exists(kRunInstaller));
  EXPECT_TRUE(w().delete_requests.empty());
  EXPECT_TRUE(w().trust_states.empty());
  ASSERT_EQ(w().timer_sets.size(), 1u);

  // The check comes after the four download lines (each line is one write)
  // and before the installer's start.
  const auto& calls = w().calls;
  const auto verify = std::find_if(calls.begin(), calls.end(),
                                   [](const std::string& call) { return call.starts_with("WinVerifyTrust(verify:"); });
  ASSERT_NE(verify, calls.end());
  EXPECT_EQ(*verify, "WinVerifyTrust(verify:" + fake::utf8(kRunInstaller) + ")");
  EXPECT_EQ(
      std::count_if(calls.begin(), verify, [](const std::string& call) { return call.starts_with("NtWriteFile"); }),
      11);
  const auto start = std::find(calls.begin(), calls.end(), "CreateProcessW(" + fake::utf8(kRunInstaller) + ")");
  EXPECT_LT(verify, start);
}

// The first call of the run limits every later library load to the system
// folder; the check then loads wintrust.dll and crypt32.dll by a bare name
// with exactly LOAD_LIBRARY_SEARCH_SYSTEM32, after the download and before
// the verification. Copies beside the program stay unused.
TEST_F(SignerDriver, LibrariesComeFromTheSystemFolderOnly) {
  for (const char16_t* name : {u"wintrust.dll", u"crypt32.dll", u"version.dll"}) {
    w().add_library(u"C:\\Program Files\\VANT\\" + std::u16string(name),
                    fake::Library{{"WinVerifyTrust", "CertGetNameStringW", "GetFileVersionInfoSizeW"}});
  }
  w().signatures[kRunInstaller] = fake::signed_by(kSigner);
  const testing::RunOutcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.err, "");
  EXPECT_TRUE(w().foreign_calls.empty());

  const auto& calls = w().calls;
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front(), "SetDefaultDllDirectories(0x800)");
  // WinHTTP first, for the Windows proxy before the download.
  ASSERT_EQ(w().loads.size(), 3u);
  EXPECT_EQ(w().loads[0].name, u"winhttp.dll");
  EXPECT_EQ(w().loads[0].loaded, u"C:\\Windows\\system32\\winhttp.dll");
  EXPECT_EQ(w().loads[1].name, u"wintrust.dll");
  EXPECT_EQ(w().loads[1].loaded, u"C:\\Windows\\system32\\wintrust.dll");
  EXPECT_EQ(w().loads[2].name, u"crypt32.dll");
  EXPECT_EQ(w().loads[2].loaded, u"C:\\Windows\\system32\\crypt32.dll");
  for (const fake::FakeWindows::LoadCall& load : w().loads) {
    EXPECT_TRUE(load.file_null);
    EXPECT_EQ(load.flags, win::LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  const auto trust_load = std::find_if(calls.begin(), calls.end(), [](const std::string& call) {
    return call.starts_with("LoadLibraryExW(wintrust.dll");
  });
  const auto verify = std::find_if(calls.begin(), calls.end(),
                                   [](const std::string& call) { return call.starts_with("WinVerifyTrust(verify:"); });
  EXPECT_EQ(
      std::count_if(calls.begin(), trust_load, [](const std::string& call) { return call.starts_with("NtWriteFile"); }),
      11);
  EXPECT_LT(trust_load, verify);
}

// One row: what is missing of the system's libraries, and the text after V1.
struct Unavailable {
  const char* name;
  std::function<void(fake::FakeWindows&)> arrange;
  std::string reason;
};

class UnavailableTrustLibrary : public SignerDriver, public ::testing::WithParamInterface<Unavailable> {};

TEST_P(UnavailableTrustLibrary, RefusesTheInstaller) {
  w().signatures[kRunInstaller] = fake::signed_by(kSigner);
  GetParam().arrange(w());
  const testing::RunOutcome outcome = run();

  EXPECT_EQ(outcome.exit_code, 1u);
  EXPECT_EQ(outcome.out, kRunBanner + kRunLaunching + kRunPrompt);
  EXPECT_EQ(outcome.err, kRefused + GetParam().reason + "\n" + kNotStarted + kCheckNetwork);
  expect_refused_and_deleted();
  EXPECT_TRUE(w().trust_calls.empty());
  EXPECT_TRUE(w().foreign_calls.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UnavailableTrustLibrary,
    ::testing::Values(
        Unavailable{"NoWintrust",
                    [](fake::FakeWindows& w) { w.libraries.erase(u"C:\\Windows\\system32\\wintrust.dll"); },
                    "The specified module could not be found. (os error 126)"},
        // A copy beside the program is never taken instead.
        Unavailable{"Crypt32OnlyBesideTheProgram",
                    [](fake::FakeWindows& w) {
                      w.libraries.erase(u"C:\\Windows\\system32\\crypt32.dll");
                      w.add_library(u"C:\\Program Files\\VANT\\crypt32.dll", fake::Library{fake::kCrypt32Exports});
                    },
                    "The specified module could not be found. (os error 126)"},
        Unavailable{
            "WintrustNotAnImage",
            [](fake::FakeWindows& w) { w.libraries.at(u"C:\\Windows\\system32\\wintrust.dll").load_error = 193; },
            "%1 is not a valid Win32 application. (os error 193)"},
        Unavailable{
            "NoCertGetNameStringW",
            [](fake::FakeWindows& w) { w.libraries.at(u"C:\\Windows\\system32\\crypt32.dll").exports.pop_back(); },
            "The specified procedure could not be found. (os error 127)"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// One row: how the downloaded file is signed, and the text after V1.
struct Refusal {
  const char* name;
  std::function<void(fake::FileSignature&)> arrange;
  std::string reason;
};

class RefusedInstaller : public SignerDriver, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusedInstaller, IsDeletedReportedAndNotStarted) {
  fake::FileSignature signature = fake::signed_by(kSigner);
  GetParam().arrange(signature);
  w().signatures[kRunInstaller] = signature;
  const testing::RunOutcome outcome = run();

  EXPECT_EQ(outcome.exit_code, 1u);
  EXPECT_EQ(outcome.out, kRunBanner + kRunLaunching + kRunPrompt);
  EXPECT_EQ(outcome.err, kRefused + GetParam().reason + "\n" + kNotStarted + kCheckNetwork);
  expect_refused_and_deleted();
}

// The fake's message table has none of these codes: the reason is the
// lookup's fallback text with the code, as for any code Windows cannot name.
std::string os_reason(std::int32_t code) {
  const std::string number = std::to_string(code);
  return "OS Error " + number + " (FormatMessageW() returned error 317) (os error " + number + ")";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RefusedInstaller,
    ::testing::Values(
        Refusal{"Unsigned", [](fake::FileSignature& s) { s.verdict = win::TRUST_E_NOSIGNATURE; },
                os_reason(-2146762496)},
        Refusal{"BadDigest", [](fake::FileSignature& s) { s.verdict = win::TRUST_E_BAD_DIGEST; },
                os_reason(-2146869232)},
        Refusal{"UntrustedRoot",
                [](fake::FileSignature& s) { s.chain_error_status = win::CERT_TRUST_IS_UNTRUSTED_ROOT; },
                os_reason(-2146762487)},
        Refusal{"ChainErrorBit",
                [](fake::FileSignature& s) { s.chain_error_status = win::CERT_TRUST_IS_PARTIAL_CHAIN; },
                os_reason(-2146762486)},
        Refusal{"PolicyError", [](fake::FileSignature& s) { s.policy_error = 0x800B0106; }, os_reason(-2146762490)},
        Refusal{"NoCodeSigningUsage", [](fake::FileSignature& s) { s.chain[0].usages = {"1.3.6.1.5.5.7.3.1"}; },
                os_reason(-2146762480)},
        Refusal{"ExpiredLeafWithoutTimestamp", [](fake::FileSignature& s) { fake::expire(s.chain[0]); },
                os_reason(-2146762495)},
        // A counter-signature that did not verify does not make an expired
        // certificate acceptable.
        Refusal{"ExpiredLeafWithABrokenTimestamp",
                [](fake::FileSignature& s) {
                  fake::expire(s.chain[0]);
                  s.counter_signers = {fake::CounterSigner{.error = 0x80096003}};  // TRUST_E_COUNTER_SIGNER
                },
                os_reason(-2146762495)},
        Refusal{"AccessDeniedByTheSystem", [](fake::FileSignature& s) { s.policy_call_error = 5; },
                "Access is denied. (os error 5)"},
        Refusal{"WrongSigner", [](fake::FileSignature& s) { s.chain[0].name = u"Other Vendor Ltd"; },
                "signed by \"Other Vendor Ltd\", expected \"" VANT_INSTALLER_SIGNER "\""},
        Refusal{"WrongChineseSigner", [](fake::FileSignature& s) { s.chain[0].name = u"另一家软件公司"; },
                "signed by \"另一家软件公司\", expected \"" VANT_INSTALLER_SIGNER "\""},
        // The vendor's name under a root that this PC trusts but the vendor
        // does not use (one that someone added, say).
        Refusal{"VendorNameUnderAnotherRoot",
                [](fake::FileSignature& s) {
                  s.chain[2].name = u"某代理根证书";
                  s.chain[2].der = "certificate of a proxy's root";
                },
                "chain ends in \"某代理根证书\" and holds none of the pinned certificate authorities"},
        Refusal{"LeafRevoked", [](fake::FileSignature& s) { s.chain[0].revocation = fake::Revocation::Revoked; },
                os_reason(-2146885616)},  // CRYPT_E_REVOKED 0x80092010
        Refusal{"IntermediateRevoked",
                [](fake::FileSignature& s) { s.chain[1].revocation = fake::Revocation::Revoked; },
                os_reason(-2146885616)}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// Revocation that cannot be checked does not stop the installation.
TEST_F(SignerDriver, AnInstallerWhoseRevocationCannotBeCheckedIsStarted) {
  fake::FileSignature signature = fake::signed_by(kSigner);
  signature.chain[0].revocation = fake::Revocation::Offline;
  signature.chain[1].revocation = fake::Revocation::NoInformation;
  w().signatures[kRunInstaller] = signature;
  const testing::RunOutcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(created().size(), 2u);
  EXPECT_EQ(w().chain_builds.size(), 1u);
  EXPECT_TRUE(w().open_chains.empty());
}

TEST_F(SignerDriver, AnExpiredLeafWithATimestampIsStarted) {
  fake::FileSignature signature = fake::signed_by(kSigner);
  fake::expire(signature.chain[0]);
  signature.counter_signers = {fake::CounterSigner{}};
  w().signatures[kRunInstaller] = signature;
  const testing::RunOutcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(created().size(), 2u);
}

TEST_F(SignerDriver, AFileThatCannotBeDeletedIsReportedAlike) {
  w().delete_errors[kRunInstaller] = 32;      // in use by another process
  const testing::RunOutcome outcome = run();  // unsigned
  EXPECT_EQ(outcome.exit_code, 1u);
  EXPECT_EQ(outcome.err, kRefused + os_reason(-2146762496) + "\n" + kNotStarted + kCheckNetwork);
  EXPECT_EQ(created().size(), 1u);
  EXPECT_THAT(w().delete_requests, ElementsAre(kRunInstaller));
}

TEST_F(SignerDriver, TheReasonIsWrittenPieceByPiece) {
  fake::FileSignature signature = fake::signed_by(kSigner);
  signature.policy_call_error = 5;
  w().signatures[kRunInstaller] = signature;
  run();
  // Unbuffered: each literal part and each piece of the error text is its
  // own write, in order; the file was deleted before anything was said.
  EXPECT_THAT(streams_.error->writes,
              ElementsAre(kRefused, "Access is denied.", " (os error ", "5", ")", "\n", kNotStarted, kCheckNetwork));
  const auto& calls = w().calls;
  const auto deleted =
      std::find_if(calls.begin(), calls.end(), [](const std::string& call) { return call.starts_with("DeleteFileW"); });
  ASSERT_NE(deleted, calls.end());
  EXPECT_EQ(
      std::count_if(calls.begin(), deleted, [](const std::string& call) { return call.starts_with("NtWriteFile"); }),
      11);
}

TEST_F(SignerDriver, NoDownloadedFileIsRefusedByTheCheck) {
  // curl says 0 but wrote nothing: there is nothing to start or to run by
  // hand. The file cannot be held, which refuses it with the open's error.
  curl_exits(0, false);
  const testing::RunOutcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 1u);
  EXPECT_EQ(outcome.err,
            kRefused + "The system cannot find the file specified. (os error 2)\n" + kNotStarted + kCheckNetwork);
  EXPECT_EQ(created().size(), 1u);
}

// The file checked is the file started: from curl's exit to the start
// nobody can swap it, and Windows reads the signature through the hold.
TEST_F(SignerDriver, TheCheckedFileIsTheStartedFile) {
  w().signatures[kRunInstaller] = fake::signed_by(kSigner);
  w().contents[kRunInstaller] = "genuine";
  testing::InstallerAttack attack(kRunInstaller);
  const testing::RunOutcome outcome = run();

  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_THAT(attack.got_through(), ::testing::IsEmpty());
  ASSERT_EQ(created().size(), 2u);
  EXPECT_EQ(created()[1].image, "genuine");
  ASSERT_FALSE(w().trust_calls.empty());
  EXPECT_EQ(w().trust_calls[0].file_handle, attack.held());
  EXPECT_EQ(w().trust_calls[0].path, kRunInstaller);
  EXPECT_TRUE(attack.held_at_start());
  EXPECT_FALSE(attack.held_at_exit());
}

// A file that cannot be held (a scanner keeps it, sharing nothing) cannot
// be checked safely: it is refused with the sharing violation.
TEST_F(SignerDriver, AFileThatCannotBeHeldIsRefused) {
  scanner_holds_installer_after_curl();
  w().signatures[kRunInstaller] = fake::signed_by(kSigner);
  const testing::RunOutcome outcome = run();

  EXPECT_EQ(outcome.exit_code, 1u);
  EXPECT_EQ(outcome.err, kRefused + os_reason(32) + "\n" + kNotStarted + kCheckNetwork);
  EXPECT_EQ(created().size(), 1u);
  EXPECT_TRUE(w().trust_calls.empty());
  EXPECT_THAT(w().delete_requests, ElementsAre(kRunInstaller));
}

TEST_F(SignerDriver, OnAConsoleTheReasonIsShownInChinese) {
  auto console = w().use_console(936).console;
  fake::FileSignature signature = fake::signed_by(kSigner);
  signature.chain[0].name = u"另一家软件公司";
  w().signatures[kRunInstaller] = signature;
  console->reads.push_back({u"\r\n"});
  run();
  EXPECT_THAT(fake::utf8(console->screen),
              ::testing::HasSubstr("安装包签名校验失败：signed by \"另一家软件公司\", expected \"" VANT_INSTALLER_SIGNER
                                   "\"\n为安全起见，安装程序未启动。\n"));
}

}  // namespace
}  // namespace vant
