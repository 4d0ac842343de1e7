// The exes built with an installer signer, under Wine with the real
// WinVerifyTrust and crypt32: the stand-in curl delivers the installer's
// stand-in signed, unsigned, spoiled, by the wrong signer, with an expired
// leaf, under a root nobody trusts, with the vendor's name under another
// root this PC trusts, and so on (make-pki.sh makes them all afresh; the
// vendor's test root and the other trusted root are in the prefix's
// LocalMachine Root store). Only the vendor's own installer starts; every
// other is deleted and reported.
//
// Two exes, one per signer name: VANT_TEST_SIGNER_CN (Chinese), pinned to
// the vendor's test root, and VANT_TEST_SIGNER_ASCII, pinned to its
// intermediate (the second of two pins). The fixture's copy of the program
// is replaced by the one a row names.
//
// Revocation: Wine's WinVerifyTrust checks none, but the check asks a chain
// of its own, and Wine's chain reads a CRL through a file:// address. So a
// leaf or an issuing CA that its CRL lists is refused here; a certificate
// whose CRL server cannot be reached (nothing listens at its address), or
// that names none (every other test certificate: Wine then says unknown
// and offline), does not stop the installer. Wine ignores the time limit
// of the fetches and a timestamp's time: those are tested against the fake.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "expected_output.h"
#include "setup_run.h"
#include "support/text.h"

namespace vant_test {
namespace {

const std::string kRefusedPrefix = "安装包签名校验失败：";
const std::string kNotStarted = "为安全起见，安装程序未启动。\n";
const std::string kCheckNetwork = "请检查网络连接后重试，或联系客服获取安装包。\n";

enum class Exe { Chinese, Ascii };

class SignedInstaller : public SetupRun {
 protected:
  void use(Exe exe) {
    const wchar_t* name = exe == Exe::Chinese ? L"vant-setup-signer-cn.exe" : L"vant-setup-signer-ascii.exe";
    ASSERT_TRUE(CopyFileW(helper(name).c_str(), exe_.c_str(), FALSE)) << GetLastError();
  }
  void deliver(const wchar_t* signed_file) {
    const std::wstring payload = helper(L"signer-pki\\signed\\") + signed_file;
    ASSERT_NE(GetFileAttributesW(payload.c_str()), INVALID_FILE_ATTRIBUTES)
        << "no " << to_utf8(payload) << ": make-pki.sh has not run";
    env_[L"VANT_TEST_CURL_PAYLOAD"] = payload;
  }
  bool installer_file_exists() const { return GetFileAttributesW(installer_path().c_str()) != INVALID_FILE_ATTRIBUTES; }
};

struct Accepted {
  const char* name;
  Exe exe;
  const wchar_t* file;
};

class AcceptedInstaller : public SignedInstaller, public ::testing::WithParamInterface<Accepted> {};

TEST_P(AcceptedInstaller, StartsAsWithoutTheCheck) {
  use(GetParam().exe);
  deliver(GetParam().file);
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 0u) << result.err;
  EXPECT_EQ(result.out, expected::kSuccessOutput);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.curl.size(), 1u);
  const Record& installer = only_record(result.installer, "the installer");
  EXPECT_EQ(installer.units("image"), installer_path());
  EXPECT_TRUE(installer_file_exists());
}

INSTANTIATE_TEST_SUITE_P(Signers, AcceptedInstaller,
                         ::testing::Values(Accepted{"Chinese", Exe::Chinese, L"cn.exe"},
                                           Accepted{"Ascii", Exe::Ascii, L"ascii.exe"},
                                           // Revocation that cannot be checked does not refuse.
                                           Accepted{"RevocationServerUnreachable", Exe::Chinese, L"unreachable.exe"}),
                         CaseName());

// One row: the exe, the file curl delivers, and what the first error line
// says after its prefix: a Windows code (its description is Wine's own
// wording, so only the code is compared; any of `codes`), or an exact text.
struct Refused {
  const char* name;
  Exe exe;
  const wchar_t* file;
  std::vector<std::string> codes;
  std::string text;
};

class RefusedInstaller : public SignedInstaller, public ::testing::WithParamInterface<Refused> {};

TEST_P(RefusedInstaller, IsDeletedReportedAndNeverStarted) {
  use(GetParam().exe);
  deliver(GetParam().file);
  const RunResult result = run();

  EXPECT_EQ(result.launch.exit_code, 1u);
  EXPECT_EQ(result.out, expected::kBanner + expected::kStartingInstaller + expected::kPressEnter);
  const auto lines = lines_of(result.err);
  ASSERT_EQ(lines.size(), 3u) << result.err;
  if (GetParam().codes.empty()) {
    EXPECT_EQ(lines[0], kRefusedPrefix + GetParam().text + "\n");
  } else {
    bool matched = false;
    for (const std::string& code : GetParam().codes)
      matched = matched || is_os_error_line(lines[0], kRefusedPrefix, code);
    EXPECT_TRUE(matched) << lines[0];
    EXPECT_TRUE(is_os_error_line(lines[0], kRefusedPrefix, ""));
  }
  EXPECT_EQ(lines[1], kNotStarted);
  EXPECT_EQ(lines[2], kCheckNetwork);
  EXPECT_EQ(result.curl.size(), 1u);
  EXPECT_TRUE(result.installer.empty()) << "the refused installer was started";
  EXPECT_FALSE(installer_file_exists()) << "the refused installer was left in the temporary folder";
}

// HRESULTs in signed decimal, as the message shows them.
const std::string kNoSignature = "-2146762496";    // TRUST_E_NOSIGNATURE 0x800B0100
const std::string kBadDigest = "-2146869232";      // TRUST_E_BAD_DIGEST 0x80096010
const std::string kExpired = "-2146762495";        // CERT_E_EXPIRED 0x800B0101
const std::string kUntrustedRoot = "-2146762487";  // CERT_E_UNTRUSTEDROOT 0x800B0109
const std::string kChaining = "-2146762486";       // CERT_E_CHAINING 0x800B010A
const std::string kWrongUsage = "-2146762480";     // CERT_E_WRONG_USAGE 0x800B0110
const std::string kRevoked = "-2146885616";        // CRYPT_E_REVOKED 0x80092010

const std::string kChineseName = VANT_TEST_SIGNER_CN;
const std::string kAsciiName = VANT_TEST_SIGNER_ASCII;

INSTANTIATE_TEST_SUITE_P(
    Files, RefusedInstaller,
    ::testing::Values(Refused{"Unsigned", Exe::Chinese, L"unsigned.exe", {kNoSignature}, ""},
                      Refused{"CodeChanged", Exe::Chinese, L"code-changed.exe", {kBadDigest}, ""},
                      Refused{"HeaderChanged", Exe::Chinese, L"header-changed.exe", {kBadDigest}, ""},
                      // Wine says "no signature" here, Windows may say "bad digest".
                      Refused{"BytesAppended", Exe::Chinese, L"appended.exe", {kNoSignature, kBadDigest}, ""},
                      Refused{"ExpiredLeaf", Exe::Chinese, L"expired.exe", {kExpired}, ""},
                      // A timestamp that anyone added afterwards does not
                      // make the expired certificate acceptable. (Wine
                      // reports no counter-signer at all, verified or not,
                      // so this guards only the outcome here; which
                      // counter-signer counts is tested natively.)
                      Refused{"ExpiredLeafStampedByAnyone", Exe::Chinese, L"expired-stamped.exe", {kExpired}, ""},
                      Refused{"UntrustedRoot", Exe::Chinese, L"untrusted.exe", {kUntrustedRoot}, ""},
                      Refused{"NoIntermediate", Exe::Chinese, L"no-intermediate.exe", {kChaining}, ""},
                      Refused{"NoCodeSigningUsage", Exe::Chinese, L"no-usage.exe", {kWrongUsage}, ""},
                      // The vendor's name, under a root that this PC trusts
                      // (as an enterprise's own, or a debugging proxy's) but
                      // that is not the vendor's.
                      Refused{"VendorNameUnderAnotherTrustedRoot",
                              Exe::Chinese,
                              L"other-root.exe",
                              {},
                              "chain ends in \"VANT Other Trusted Root\" and holds none of the pinned certificate "
                              "authorities"},
                      Refused{"RevokedLeaf", Exe::Chinese, L"revoked.exe", {kRevoked}, ""},
                      Refused{"RevokedIssuingCa", Exe::Chinese, L"revoked-ca.exe", {kRevoked}, ""},
                      Refused{"OtherVendor",
                              Exe::Chinese,
                              L"other.exe",
                              {},
                              "signed by \"Other Vendor Ltd\", expected \"" + kChineseName + "\""},
                      Refused{"AsciiSignerForChineseExe",
                              Exe::Chinese,
                              L"ascii.exe",
                              {},
                              "signed by \"" + kAsciiName + "\", expected \"" + kChineseName + "\""},
                      Refused{"ChineseSignerForAsciiExe",
                              Exe::Ascii,
                              L"cn.exe",
                              {},
                              "signed by \"" + kChineseName + "\", expected \"" + kAsciiName + "\""}),
    CaseName());

// Another program of the user that, from curl's exit until it is told to
// stop, swaps the vendor's signed installer and an unsigned one at the
// installer's path as fast as it can, each time by an atomic replacement
// (a copy renamed over the path), so a file is always there.
class Swapper {
 public:
  Swapper(std::wstring installer, std::wstring curl_record, std::wstring genuine, std::wstring planted,
          std::wstring scratch)
      : installer_(std::move(installer)),
        curl_record_(std::move(curl_record)),
        sources_{std::move(genuine), std::move(planted)},
        scratch_(std::move(scratch)),
        thread_([this] { loop(); }) {}
  ~Swapper() { stop(); }

  void stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  int swaps() const { return swaps_; }
  int failed() const { return failed_; }
  DWORD last_error() const { return last_error_; }

 private:
  void loop() {
    // curl writes its record after its copy, just before it exits.
    while (!stop_ && GetFileAttributesW(curl_record_.c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(0);
    for (int turn = 1; !stop_; ++turn) {
      const std::wstring copy = scratch_ + L"swap-" + std::to_wstring(turn % 2) + L".exe";
      if (!CopyFileW(sources_[turn % 2].c_str(), copy.c_str(), FALSE)) continue;
      if (MoveFileExW(copy.c_str(), installer_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        ++swaps_;
      } else {
        // Wine answers 5 for a target held without delete sharing (or a
        // running image), Windows 32 or 5.
        last_error_ = GetLastError();
        ++failed_;
      }
    }
  }

  std::wstring installer_, curl_record_;
  std::wstring sources_[2];
  std::wstring scratch_;
  std::atomic<bool> stop_{false};
  std::atomic<int> swaps_{0}, failed_{0};
  std::atomic<DWORD> last_error_{0};
  std::thread thread_;
};

// What is checked is what starts: over many runs with the swapper at work,
// each run starts the vendor's signed installer or refuses the file; an
// unsigned one never starts. (With the file checked by its path and started
// by its path, an unsigned installer started in some of these runs.)
TEST_F(SignedInstaller, ASwapAtThePathNeverStartsAnUnsignedInstaller) {
  use(Exe::Chinese);
  deliver(L"cn.exe");
  const std::wstring genuine = helper(L"signer-pki\\signed\\cn.exe");
  const std::wstring planted = helper(L"signer-pki\\signed\\unsigned.exe");
  constexpr int kRuns = 12;
  int started = 0, refused = 0, swaps = 0, swaps_failed = 0;
  for (int i = 0; i < kRuns; ++i) {
    DeleteFileW((records_ + L"\\curl.txt").c_str());
    DeleteFileW((records_ + L"\\installer.txt").c_str());
    DeleteFileW(installer_path().c_str());
    Swapper swapper(installer_path(), records_ + L"\\curl.txt", genuine, planted, scratch_);
    const RunResult result = run();
    swapper.stop();
    swaps += swapper.swaps();
    swaps_failed += swapper.failed();
    // The swapper was at work in every run.
    EXPECT_GT(swapper.swaps(), 0) << "run " << i;

    if (!result.installer.empty()) {
      const Record& installer = only_record(result.installer, "the installer");
      EXPECT_EQ(installer.get("image_signed"), "1") << "run " << i << ": an unsigned installer was started";
      EXPECT_EQ(result.launch.exit_code, 0u) << result.err;
      ++started;
    } else {
      EXPECT_EQ(result.launch.exit_code, 1u) << "run " << i;
      EXPECT_TRUE(result.err.starts_with(kRefusedPrefix)) << "run " << i << ": " << result.err;
      ++refused;
    }
  }
  std::printf("%d runs: %d started the signed installer, %d refused; %d swaps, %d failed\n", kRuns, started, refused,
              swaps, swaps_failed);
}

}  // namespace
}  // namespace vant_test
