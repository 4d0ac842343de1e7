// The signer check against the fake's model of Authenticode: which file
// passes, the code each refusal carries, the wrong-signer and
// wrong-authority messages, revocation, exactly what WinVerifyTrust and the
// revocation chain are asked, and that every state and chain is released.
#include "trust/installer_signature.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "fake_windows.h"
#include "support/seam_test.h"
#include "trust/revocation.h"

namespace vant {
namespace {

using ::testing::ElementsAre;
using testing::SeamTest;

constexpr char16_t kFile[] = u"C:\\Temp\\vant_installer_latest.exe";
constexpr SignerName kVendor{u"VANT 软件有限公司", "VANT 软件有限公司"};
constexpr char kCodeSigning[] = "1.3.6.1.5.5.7.3.3";
constexpr char kServerAuth[] = "1.3.6.1.5.5.7.3.1";
constexpr win::DWORD kCounterSignerError = 0x80096003;  // TRUST_E_COUNTER_SIGNER

class SignatureCheckTest : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    w().add_file(kFile);
  }

  // The caller's hold on the file: open for reading, as the driver has it.
  static win::HANDLE open_file(const char16_t* path) {
    return win::CreateFileW(path, win::GENERIC_READ, win::FILE_SHARE_READ, nullptr, win::OPEN_EXISTING,
                            win::FILE_ATTRIBUTE_NORMAL, win::NULL_HANDLE);
  }

  // The check of kFile, held open, and what the fake saw of the verify
  // state: exactly one verification and one close of that same state,
  // nothing left open (no chain either).
  std::expected<void, SystemError> check(const SignerName& expected = kVendor,
                                         std::span<const CaFingerprint> authorities = {}) {
    SignatureCheck signature_check(expected, authorities);
    held_ = open_file(kFile);
    auto result = signature_check.check(kFile, held_);
    // The error may point into the check: copy its text while it lives.
    if (!result) last_text_ = result.error().display_text();
    EXPECT_TRUE(w().trust_states.empty()) << "a verify state was left open";
    EXPECT_TRUE(w().open_chains.empty()) << "a chain was not freed";
    EXPECT_EQ(w().count_calls("WinVerifyTrust(close)"), 1u);
    if (w().trust_calls.size() == 2) {
      EXPECT_EQ(w().trust_calls[1].state, w().trust_calls[0].state_out);
    }
    return result;
  }

  std::string last_text_;
  win::HANDLE held_ = win::NULL_HANDLE;
};

// One row: how the file is signed, and the code of the refusal (0: passes).
struct Outcome {
  const char* name;
  std::function<void(fake::FileSignature&)> arrange;
  std::uint32_t code;
};

class SignatureOutcome : public SignatureCheckTest, public ::testing::WithParamInterface<Outcome> {};

TEST_P(SignatureOutcome, PassesOrCarriesTheCodeOfTheRefusal) {
  fake::FileSignature signature = fake::signed_by(kVendor.units);
  GetParam().arrange(signature);
  w().signatures[kFile] = signature;

  const auto result = check();
  if (GetParam().code == 0) {
    EXPECT_TRUE(result.has_value()) << last_text_;
  } else {
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), SystemError::from_code(static_cast<std::int32_t>(GetParam().code))) << last_text_;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SignatureOutcome,
    ::testing::Values(
        Outcome{"Good", [](fake::FileSignature&) {}, 0},
        // WinVerifyTrust's own verdicts are passed on unchanged.
        Outcome{"BadDigest", [](fake::FileSignature& s) { s.verdict = win::TRUST_E_BAD_DIGEST; }, 0x80096010},
        Outcome{"UntrustedRootByWindows", [](fake::FileSignature& s) { s.verdict = win::CERT_E_UNTRUSTEDROOT; },
                0x800B0109},
        // Accepted by WinVerifyTrust, refused by the repeated checks.
        Outcome{"ChainUntrustedRoot",
                [](fake::FileSignature& s) { s.chain_error_status = win::CERT_TRUST_IS_UNTRUSTED_ROOT; }, 0x800B0109},
        Outcome{"ChainPartial",
                [](fake::FileSignature& s) {
                  s.chain_error_status = win::CERT_TRUST_IS_PARTIAL_CHAIN | win::CERT_TRUST_IS_UNTRUSTED_ROOT;
                },
                0x800B010A},
        Outcome{"ChainBadSignature",
                [](fake::FileSignature& s) {
                  s.chain_error_status = win::CERT_TRUST_IS_NOT_SIGNATURE_VALID | win::CERT_TRUST_IS_PARTIAL_CHAIN;
                },
                0x80096004},
        Outcome{"ChainNotTimeValid",
                [](fake::FileSignature& s) { s.chain_error_status = win::CERT_TRUST_IS_NOT_TIME_VALID; }, 0x800B0101},
        Outcome{"ChainWrongUsage",
                [](fake::FileSignature& s) { s.chain_error_status = win::CERT_TRUST_IS_NOT_VALID_FOR_USAGE; },
                0x800B0110},
        Outcome{"ChainRevoked", [](fake::FileSignature& s) { s.chain_error_status = win::CERT_TRUST_IS_REVOKED; },
                0x80092010},
        Outcome{"ChainOtherBit", [](fake::FileSignature& s) { s.chain_error_status = 0x00000100; }, 0x800B0004},
        Outcome{"PolicyError", [](fake::FileSignature& s) { s.policy_error = 0x800B0106; }, 0x800B0106},
        Outcome{"PolicyCallFails", [](fake::FileSignature& s) { s.policy_call_error = 87; }, 87},
        // A call that fails without saying why still refuses the file.
        Outcome{"PolicyCallFailsWithoutAnError", [](fake::FileSignature& s) { s.policy_call_error = 0; },
                0x800B0004},
        Outcome{"LeafUsageFailsWithoutAnError", [](fake::FileSignature& s) { s.chain[0].usage_error = 0; },
                0x800B0004},
        Outcome{"LeafForServersOnly",
                [](fake::FileSignature& s) { s.chain[0].usages = {kServerAuth}; }, 0x800B0110},
        Outcome{"LeafForNoUse", [](fake::FileSignature& s) { s.chain[0].usages = {}; }, 0x800B0110},
        Outcome{"LeafCodeSigningAmongOthers",
                [](fake::FileSignature& s) { s.chain[0].usages = {kServerAuth, kCodeSigning}; }, 0},
        Outcome{"LeafWithoutRestriction",
                [](fake::FileSignature& s) {
                  s.chain[0].usages = {};
                  s.chain[0].any_usage = true;
                },
                0},
        Outcome{"LeafUsageUnreadable", [](fake::FileSignature& s) { s.chain[0].usage_error = 5; }, 5},
        Outcome{"ExpiredLeafWithoutTimestamp", [](fake::FileSignature& s) { fake::expire(s.chain[0]); }, 0x800B0101},
        Outcome{"ExpiredRootWithoutTimestamp", [](fake::FileSignature& s) { fake::expire(s.chain[2]); }, 0x800B0101},
        Outcome{"LeafNotYetValid", [](fake::FileSignature& s) { s.chain[0].not_before = fake::kNow + fake::kDay; },
                0x800B0101},
        // With a timestamp, Windows judged the chain at the signing time.
        Outcome{"ExpiredLeafWithTimestamp",
                [](fake::FileSignature& s) {
                  fake::expire(s.chain[0]);
                  s.counter_signers = {fake::CounterSigner{}};
                },
                0},
        // Only a counter-signature that Windows verified (no error, a chain
        // without an error bit) moves the time the chain is judged at to
        // the time it states; anyone can add a broken one to a file.
        Outcome{"ExpiredLeafWithAFailedCountersigner",
                [](fake::FileSignature& s) {
                  fake::expire(s.chain[0]);
                  s.counter_signers = {fake::CounterSigner{.error = kCounterSignerError}};
                },
                0x800B0101},
        Outcome{"ExpiredLeafWithACountersignerOnAnUntrustedChain",
                [](fake::FileSignature& s) {
                  fake::expire(s.chain[0]);
                  s.counter_signers = {fake::CounterSigner{.chain_error_status = win::CERT_TRUST_IS_UNTRUSTED_ROOT}};
                },
                0x800B0101},
        Outcome{"ExpiredLeafWithACountersignerWithoutAChain",
                [](fake::FileSignature& s) {
                  fake::expire(s.chain[0]);
                  s.counter_signers = {fake::CounterSigner{.no_chain = true}};
                },
                0x800B0101},
        Outcome{"ExpiredLeafWithAFailedAndAVerifiedCountersigner",
                [](fake::FileSignature& s) {
                  fake::expire(s.chain[0]);
                  s.counter_signers = {fake::CounterSigner{.error = kCounterSignerError}, fake::CounterSigner{}};
                },
                0},
        // A genuine timestamp server stamps any signature with the current
        // time: a verified stamp after the expiry does not help.
        Outcome{"ExpiredLeafStampedAfterItsExpiry",
                [](fake::FileSignature& s) {
                  fake::expire(s.chain[0]);
                  s.counter_signers = {fake::CounterSigner{.time = fake::kNow}};
                },
                0x800B0101},
        Outcome{"LeafStampedBeforeItsValidity",
                [](fake::FileSignature& s) {
                  s.counter_signers = {fake::CounterSigner{.time = s.chain[0].not_before - fake::kDay}};
                },
                0x800B0101},
        Outcome{"ExpiredRootAtTheStampedTime",
                [](fake::FileSignature& s) {
                  fake::expire(s.chain[0]);
                  s.chain[2].not_after = fake::kNow - 60 * fake::kDay;
                  s.counter_signers = {fake::CounterSigner{.time = fake::kNow - 30 * fake::kDay}};
                },
                0x800B0101},
        // A broken one on a certificate valid now changes nothing.
        Outcome{"GoodLeafWithAFailedCountersigner",
                [](fake::FileSignature& s) {
                  s.counter_signers = {fake::CounterSigner{.error = kCounterSignerError}};
                },
                0},
        Outcome{"NoSigner", [](fake::FileSignature& s) { s.no_signer = true; }, 0x800B0100},
        Outcome{"NoChain", [](fake::FileSignature& s) { s.chain.clear(); }, 0x800B0100},
        // The first step that refuses names the reason.
        Outcome{"ChainErrorBeforeWrongSigner",
                [](fake::FileSignature& s) {
                  s.chain[0].name = u"Other Ltd";
                  s.chain_error_status = win::CERT_TRUST_IS_UNTRUSTED_ROOT;
                },
                0x800B0109}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// wintrust.dll and crypt32.dll come from the system folder, by a bare name
// with exactly LOAD_LIBRARY_SEARCH_SYSTEM32, before anything is verified;
// copies planted beside the program or in the current folder stay unused
// (the fake's helpers throw if called through any other copy).
TEST_F(SignatureCheckTest, LoadsWintrustAndCrypt32FromTheSystemFolderOnly) {
  for (const std::u16string folder : {u"C:\\Program Files\\VANT\\", u"C:\\work\\"}) {
    w().add_library(folder + u"wintrust.dll", fake::Library{fake::kWintrustExports});
    w().add_library(folder + u"crypt32.dll", fake::Library{fake::kCrypt32Exports});
  }
  w().signatures[kFile] = fake::signed_by(kVendor.units);
  EXPECT_TRUE(check().has_value()) << last_text_;
  EXPECT_TRUE(w().foreign_calls.empty());

  ASSERT_EQ(w().loads.size(), 2u);
  const char16_t* const names[] = {u"wintrust.dll", u"crypt32.dll"};
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(w().loads[i].name, names[i]);
    EXPECT_TRUE(w().loads[i].file_null);
    EXPECT_EQ(w().loads[i].flags, win::LOAD_LIBRARY_SEARCH_SYSTEM32);
    EXPECT_EQ(w().loads[i].loaded, u"C:\\Windows\\system32\\" + std::u16string(names[i]));
  }
  // Both loads and every look-up come before the verification.
  const auto& calls = w().calls;
  const auto verify = std::find_if(calls.begin(), calls.end(),
                                   [](const std::string& call) { return call.starts_with("WinVerifyTrust(verify:"); });
  EXPECT_EQ(std::count_if(calls.begin(), verify, [](const std::string& c) { return c.starts_with("LoadLibraryExW"); }),
            2);
  EXPECT_EQ(std::count_if(calls.begin(), verify, [](const std::string& c) { return c.starts_with("GetProcAddress"); }),
            10);
}

// One row: what is missing of the system's libraries, and the code of the
// refusal. Nothing is verified then.
struct Unavailable {
  const char* name;
  std::function<void(fake::FakeWindows&)> arrange;
  std::uint32_t code;
};

class UnavailableTrustFunction : public SignatureCheckTest, public ::testing::WithParamInterface<Unavailable> {};

TEST_P(UnavailableTrustFunction, RefusesTheFileWithoutVerifying) {
  w().signatures[kFile] = fake::signed_by(kVendor.units);
  GetParam().arrange(w());
  SignatureCheck signature_check(kVendor);
  const auto result = signature_check.check(kFile, open_file(kFile));
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), SystemError::from_code(static_cast<std::int32_t>(GetParam().code)));
  EXPECT_TRUE(w().trust_calls.empty());
  EXPECT_TRUE(w().trust_states.empty());
  EXPECT_TRUE(w().foreign_calls.empty());
  for (const fake::FakeWindows::LoadCall& load : w().loads) {
    EXPECT_EQ(load.flags, win::LOAD_LIBRARY_SEARCH_SYSTEM32);
    EXPECT_FALSE(load.loaded.starts_with(u"C:\\Program Files")) << fake::utf8(load.loaded);
  }
}

constexpr char16_t kSystemWintrust[] = u"C:\\Windows\\system32\\wintrust.dll";
constexpr char16_t kSystemCrypt32[] = u"C:\\Windows\\system32\\crypt32.dll";

// Removes one function from the system's copy of its library.
std::function<void(fake::FakeWindows&)> without(const char16_t* library, const char* function) {
  return [library, function](fake::FakeWindows& windows) {
    auto& exports = windows.libraries.at(library).exports;
    exports.erase(std::find(exports.begin(), exports.end(), function));
  };
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UnavailableTrustFunction,
    ::testing::Values(
        Unavailable{"NoWintrust", [](fake::FakeWindows& w) { w.libraries.erase(kSystemWintrust); }, 126},
        Unavailable{"NoCrypt32", [](fake::FakeWindows& w) { w.libraries.erase(kSystemCrypt32); }, 126},
        // Only a copy beside the program: never loaded from there.
        Unavailable{"WintrustOnlyBesideTheProgram",
                    [](fake::FakeWindows& w) {
                      w.libraries.erase(kSystemWintrust);
                      w.add_library(u"C:\\Program Files\\VANT\\wintrust.dll", fake::Library{fake::kWintrustExports});
                    },
                    126},
        Unavailable{"WintrustNotAnImage",
                    [](fake::FakeWindows& w) { w.libraries.at(kSystemWintrust).load_error = 193; }, 193},
        Unavailable{"Crypt32AccessDenied", [](fake::FakeWindows& w) { w.libraries.at(kSystemCrypt32).load_error = 5; },
                    5},
        Unavailable{"NoWinVerifyTrust", without(kSystemWintrust, "WinVerifyTrust"), 127},
        Unavailable{"NoWTHelperProvDataFromStateData", without(kSystemWintrust, "WTHelperProvDataFromStateData"), 127},
        Unavailable{"NoWTHelperGetProvSignerFromChain", without(kSystemWintrust, "WTHelperGetProvSignerFromChain"),
                    127},
        Unavailable{"NoCertVerifyCertificateChainPolicy", without(kSystemCrypt32, "CertVerifyCertificateChainPolicy"),
                    127},
        Unavailable{"NoCertGetEnhancedKeyUsage", without(kSystemCrypt32, "CertGetEnhancedKeyUsage"), 127},
        Unavailable{"NoCertVerifyTimeValidity", without(kSystemCrypt32, "CertVerifyTimeValidity"), 127},
        Unavailable{"NoCertGetNameStringW", without(kSystemCrypt32, "CertGetNameStringW"), 127},
        Unavailable{"NoCryptHashCertificate2", without(kSystemCrypt32, "CryptHashCertificate2"), 127},
        Unavailable{"NoCertGetCertificateChain", without(kSystemCrypt32, "CertGetCertificateChain"), 127},
        Unavailable{"NoCertFreeCertificateChain", without(kSystemCrypt32, "CertFreeCertificateChain"), 127}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(SignatureCheckTest, UnsignedAndMissingFilesAreRefusedByWindows) {
  auto result = check();  // no signature recorded for the file
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().os_code(), static_cast<std::int32_t>(0x800B0100));

  fake::reset();
  result = SignatureCheck(kVendor).check(u"C:\\Temp\\missing.exe", win::NULL_HANDLE);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().os_code(), static_cast<std::int32_t>(0x80070002));
  EXPECT_TRUE(w().trust_states.empty());
}

// The name must match unit for unit: no folding of case, width or spaces.
struct NameCase {
  const char* name;
  std::u16string signer;  // the certificate's name
  bool passes;
  std::string shown;  // the found name as the message shows it
};

class SignerNameMatch : public SignatureCheckTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(SignerNameMatch, MatchesExactlyOrNamesBoth) {
  w().signatures[kFile] = fake::signed_by(GetParam().signer);
  const auto result = check();
  if (GetParam().passes) {
    EXPECT_TRUE(result.has_value()) << last_text_;
    return;
  }
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().kind(), SystemErrorKind::PermissionDenied);
  EXPECT_FALSE(result.error().os_code().has_value());
  EXPECT_EQ(last_text_, "signed by \"" + GetParam().shown + "\", expected \"VANT 软件有限公司\"");
}

INSTANTIATE_TEST_SUITE_P(
    Names, SignerNameMatch,
    ::testing::Values(NameCase{"Same", u"VANT 软件有限公司", true, ""},
                      NameCase{"Other", u"Other Vendor Ltd", false, "Other Vendor Ltd"},
                      NameCase{"LowerCase", u"vant 软件有限公司", false, "vant 软件有限公司"},
                      NameCase{"FullWidthLetters", u"ＶＡＮＴ 软件有限公司", false, "ＶＡＮＴ 软件有限公司"},
                      NameCase{"TrailingSpace", u"VANT 软件有限公司 ", false, "VANT 软件有限公司 "},
                      NameCase{"Prefix", u"VANT 软件", false, "VANT 软件"},
                      NameCase{"EmbeddedNul", std::u16string(u"VANT 软件有限公司\0x", 13), false,
                               std::string("VANT 软件有限公司\0x", 25)},
                      NameCase{"Empty", u"", false, ""},
                      NameCase{"LoneSurrogate", u"VANT\xD800", false, "VANT\xEF\xBF\xBD"},
                      NameCase{"OutsideTheBmp", u"VANT \U0001F600", false, "VANT \xF0\x9F\x98\x80"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(SignatureCheckTest, AnAsciiSignerMatchesToo) {
  w().signatures[kFile] = fake::signed_by(u"VANT Software Ltd.");
  EXPECT_TRUE(check({u"VANT Software Ltd.", "VANT Software Ltd."}).has_value()) << last_text_;
}

TEST_F(SignatureCheckTest, AsksWindowsWithoutUiRevocationOrNetwork) {
  w().signatures[kFile] = fake::signed_by(kVendor.units);
  ASSERT_TRUE(check().has_value());

  ASSERT_EQ(w().trust_calls.size(), 2u);
  for (const fake::TrustCall& call : w().trust_calls) {
    EXPECT_TRUE(call.generic_verify_v2);
    EXPECT_TRUE(call.window_null);
    EXPECT_EQ(call.data_size, sizeof(win::WINTRUST_DATA));
    EXPECT_EQ(call.file_info_size, sizeof(win::WINTRUST_FILE_INFO));
    EXPECT_EQ(call.path, kFile);
    EXPECT_EQ(call.file_handle, held_);
    EXPECT_TRUE(call.other_fields_null);
    EXPECT_EQ(call.ui_choice, win::WTD_UI_NONE);
    EXPECT_EQ(call.revocation_checks, win::WTD_REVOKE_NONE);
    EXPECT_EQ(call.union_choice, win::WTD_CHOICE_FILE);
    EXPECT_EQ(call.provider_flags, win::WTD_REVOCATION_CHECK_NONE | win::WTD_CACHE_ONLY_URL_RETRIEVAL);
    EXPECT_EQ(call.ui_context, win::WTD_UICONTEXT_EXECUTE);
  }
  EXPECT_EQ(w().trust_calls[0].state_action, win::WTD_STATEACTION_VERIFY);
  EXPECT_EQ(w().trust_calls[0].state, win::NULL_HANDLE);
  EXPECT_EQ(w().trust_calls[1].state_action, win::WTD_STATEACTION_CLOSE);

  ASSERT_EQ(w().policy_calls.size(), 1u);
  const fake::PolicyCall& policy = w().policy_calls[0];
  EXPECT_EQ(policy.policy, win::CERT_CHAIN_POLICY_AUTHENTICODE);
  EXPECT_EQ(policy.para_size, sizeof(win::CERT_CHAIN_POLICY_PARA));
  EXPECT_EQ(policy.para_flags, 0u);
  EXPECT_TRUE(policy.para_extra_null);
  EXPECT_EQ(policy.status_size, sizeof(win::CERT_CHAIN_POLICY_STATUS));
  // Every certificate of the chain is judged now.
  EXPECT_THAT(w().time_checks_now, ElementsAre(true, true, true));
  // The state is closed last, after everything read from it.
  EXPECT_EQ(w().calls.back(), "WinVerifyTrust(close)");
}

// What is verified is the file the handle refers to, not whatever the path
// names: the file the caller holds is the one that will be started.
TEST_F(SignatureCheckTest, VerifiesTheFileThroughTheHandle) {
  constexpr char16_t kElsewhere[] = u"C:\\Temp\\elsewhere.exe";
  w().add_file(kElsewhere);
  w().signatures[kFile] = fake::signed_by(u"Other Vendor Ltd");
  w().signatures[kElsewhere] = fake::signed_by(kVendor.units);

  const win::HANDLE vendor_file = open_file(kElsewhere);
  EXPECT_TRUE(SignatureCheck(kVendor).check(kFile, vendor_file).has_value());
  SignatureCheck other_check(kVendor);
  const auto other = other_check.check(kElsewhere, open_file(kFile));
  ASSERT_FALSE(other.has_value());
  EXPECT_EQ(other.error().display_text(), "signed by \"Other Vendor Ltd\", expected \"VANT 软件有限公司\"");
}

TEST_F(SignatureCheckTest, RefusedFilesCloseTheirStateToo) {
  fake::FileSignature signature = fake::signed_by(kVendor.units);
  signature.verdict = win::TRUST_E_BAD_DIGEST;
  w().signatures[kFile] = signature;
  ASSERT_FALSE(check().has_value());
  ASSERT_EQ(w().trust_calls.size(), 2u);
  EXPECT_EQ(w().trust_calls[1].state_action, win::WTD_STATEACTION_CLOSE);
  // Nothing is read from the state of a file Windows refused.
  EXPECT_EQ(w().count_calls("WTHelperProvDataFromStateData"), 0u);
}

TEST_F(SignatureCheckTest, WithAVerifiedTimestampEveryCertificateIsJudgedAtItsTime) {
  fake::FileSignature signature = fake::signed_by(kVendor.units);
  const std::uint64_t stamped = fake::kNow - 100 * fake::kDay;
  signature.counter_signers = {fake::CounterSigner{.time = stamped}};
  w().signatures[kFile] = signature;
  ASSERT_TRUE(check().has_value()) << last_text_;
  EXPECT_THAT(w().time_checks_now, ElementsAre(false, false, false));
  EXPECT_THAT(w().time_checks_at, ElementsAre(stamped, stamped, stamped));
}

// ---- The vendor's certificate authority --------------------------------------

// SHA-256 of the DER bytes fake::signed_by gives (sha256sum of the text).
constexpr auto kRootPin = parse_ca_fingerprints(  // "certificate of VANT Test Root"
    "115BFF99983EF576832020242BFCDE7A2DC3338632C65250AFA525F93EA6E8CF");
constexpr auto kIntermediatePin = parse_ca_fingerprints(  // "certificate of VANT Test Code Signing CA"
    "C9ACD8D1C8C3F431032EEE34D1DF889479820DD38A9E85B0CB293E6FFFEEF27A");
constexpr auto kLeafPin = parse_ca_fingerprints(  // "certificate of VANT 软件有限公司"
    "0A438CDC85AACDB902DDFC587C5CA7EDC3F57468138B498CF814A91456F6D984");
constexpr auto kOtherAndIntermediatePins = parse_ca_fingerprints(
    "4C8D94291E3D57825811C5106DE13D37A9AEFBAEB756CD127A2898E17771868F;"  // "certificate of another root"
    "C9ACD8D1C8C3F431032EEE34D1DF889479820DD38A9E85B0CB293E6FFFEEF27A");
constexpr auto kNoPins = parse_ca_fingerprints("");

static_assert(kNoPins.empty() && kOtherAndIntermediatePins.size() == 2);
static_assert(kRootPin[0][0] == 0x11 && kRootPin[0][1] == 0x5B && kRootPin[0][31] == 0xCF);
static_assert(kOtherAndIntermediatePins[1] == kIntermediatePin[0]);

// The vendor's name under a root someone added to this PC: a debugging
// proxy's, say, with an issuing CA of its own.
void under_proxy_root(fake::FileSignature& signature) {
  signature.chain[1].name = u"Proxy Code Signing CA";
  signature.chain[1].der = "certificate of Proxy Code Signing CA";
  signature.chain[2].name = u"Proxy Root";
  signature.chain[2].der = "certificate of Proxy Root";
}

const std::string kNotPinnedUnderTestRoot =
    "chain ends in \"VANT Test Root\" and holds none of the pinned certificate authorities";
const std::string kNotPinnedUnderProxyRoot =
    "chain ends in \"Proxy Root\" and holds none of the pinned certificate authorities";

// One row: the pins, how the file is signed, and the refusal's text (none:
// passes).
struct PinCase {
  const char* name;
  std::span<const CaFingerprint> pins;
  std::function<void(fake::FileSignature&)> arrange;
  std::string refusal;
};

class PinnedAuthority : public SignatureCheckTest, public ::testing::WithParamInterface<PinCase> {};

TEST_P(PinnedAuthority, PassesOnlyWithAPinnedCertificateAboveTheLeaf) {
  fake::FileSignature signature = fake::signed_by(kVendor.units);
  GetParam().arrange(signature);
  w().signatures[kFile] = signature;
  const auto result = check(kVendor, GetParam().pins);
  if (GetParam().refusal.empty()) {
    EXPECT_TRUE(result.has_value()) << last_text_;
    return;
  }
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().kind(), SystemErrorKind::PermissionDenied);
  EXPECT_FALSE(result.error().os_code().has_value());
  EXPECT_EQ(last_text_, GetParam().refusal);
  // Nothing is asked of the network for a refused file.
  EXPECT_TRUE(w().chain_builds.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PinnedAuthority,
    ::testing::Values(PinCase{"RootPinned", kRootPin, [](fake::FileSignature&) {}, ""},
                      PinCase{"IntermediatePinned", kIntermediatePin, [](fake::FileSignature&) {}, ""},
                      PinCase{"SecondOfTwoPinned", kOtherAndIntermediatePins, [](fake::FileSignature&) {}, ""},
                      PinCase{"VendorNameUnderAnotherRoot", kRootPin, under_proxy_root, kNotPinnedUnderProxyRoot},
                      PinCase{"VendorNameUnderAnotherIssuerOfThePinnedRoot", kIntermediatePin,
                              [](fake::FileSignature& s) {
                                s.chain[1].name = u"VANT Test Other CA";
                                s.chain[1].der = "certificate of VANT Test Other CA";
                              },
                              kNotPinnedUnderTestRoot},
                      // The leaf is never the authority, even when its own
                      // fingerprint is pinned.
                      PinCase{"OnlyTheLeafPinned", kLeafPin, [](fake::FileSignature&) {}, kNotPinnedUnderTestRoot},
                      // The fingerprint is of the whole certificate: one
                      // byte more is another certificate.
                      PinCase{"RootWithOtherBytes", kRootPin, [](fake::FileSignature& s) { s.chain[2].der += '\0'; },
                              kNotPinnedUnderTestRoot},
                      // The signer is judged first.
                      PinCase{"WrongSignerUnderAnotherRoot", kRootPin,
                              [](fake::FileSignature& s) {
                                under_proxy_root(s);
                                s.chain[0].name = u"Other Vendor Ltd";
                              },
                              "signed by \"Other Vendor Ltd\", expected \"VANT 软件有限公司\""},
                      // Without pins any root that Windows trusts will do.
                      PinCase{"NoPins", kNoPins, under_proxy_root, ""}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(SignatureCheckTest, FingerprintsAreWindowsSha256OfEachCertificateAboveTheLeaf) {
  w().signatures[kFile] = fake::signed_by(kVendor.units);
  ASSERT_TRUE(check(kVendor, kRootPin).has_value()) << last_text_;
  // The intermediate, then the root; never the leaf.
  EXPECT_EQ(w().hash_calls, 2u);

  // Without pins nothing is hashed.
  fake::reset();
  w().add_file(kFile);
  w().signatures[kFile] = fake::signed_by(kVendor.units);
  ASSERT_TRUE(check().has_value()) << last_text_;
  EXPECT_EQ(w().hash_calls, 0u);
}

TEST_F(SignatureCheckTest, AFailedFingerprintRefusesTheFile) {
  w().signatures[kFile] = fake::signed_by(kVendor.units);
  w().hash_error = 87;
  auto result = check(kVendor, kRootPin);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), SystemError::from_code(87));

  // A failure that leaves no error still refuses.
  fake::reset();
  w().add_file(kFile);
  w().signatures[kFile] = fake::signed_by(kVendor.units);
  w().hash_error = 0;
  result = check(kVendor, kRootPin);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), SystemError::from_code(win::TRUST_E_SUBJECT_NOT_TRUSTED));
}

// ---- Revocation, soft-fail ----------------------------------------------------------

// One row: how the chain's certificates stand (leaf, intermediate, root),
// and the code of the refusal (0: passes).
struct RevocationCase {
  const char* name;
  std::function<void(fake::FileSignature&)> arrange;
  std::uint32_t code;
};

class Revoked : public SignatureCheckTest, public ::testing::WithParamInterface<RevocationCase> {};

TEST_P(Revoked, RefusesOnlyWhatWindowsSaysIsRevoked) {
  fake::FileSignature signature = fake::signed_by(kVendor.units);
  GetParam().arrange(signature);
  w().signatures[kFile] = signature;

  const auto result = check(kVendor, kRootPin);
  if (GetParam().code == 0) {
    EXPECT_TRUE(result.has_value()) << last_text_;
  } else {
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), SystemError::from_code(static_cast<std::int32_t>(GetParam().code))) << last_text_;
  }
  EXPECT_EQ(w().chain_builds.size(), 1u);
}

constexpr std::uint32_t kRevoked = 0x80092010;  // CRYPT_E_REVOKED

void stamped_30_days_ago(fake::FileSignature& s) {
  s.counter_signers = {fake::CounterSigner{.time = fake::kNow - 30 * fake::kDay}};
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Revoked,
    ::testing::Values(
        RevocationCase{"NoneRevoked", [](fake::FileSignature&) {}, 0},
        RevocationCase{"LeafRevoked", [](fake::FileSignature& s) { s.chain[0].revocation = fake::Revocation::Revoked; },
                       kRevoked},
        // The whole chain is asked about, not only the leaf.
        RevocationCase{"IntermediateRevoked",
                       [](fake::FileSignature& s) { s.chain[1].revocation = fake::Revocation::Revoked; }, kRevoked},
        // Revocation that could not be checked does not refuse: the server
        // cannot be reached, or the certificate names none.
        RevocationCase{"LeafServerUnreachable",
                       [](fake::FileSignature& s) { s.chain[0].revocation = fake::Revocation::Offline; }, 0},
        RevocationCase{"IntermediateWithoutRevocationInformation",
                       [](fake::FileSignature& s) { s.chain[1].revocation = fake::Revocation::NoInformation; }, 0},
        RevocationCase{"NothingCanBeChecked",
                       [](fake::FileSignature& s) {
                         s.chain[0].revocation = fake::Revocation::Offline;
                         s.chain[1].revocation = fake::Revocation::NoInformation;
                       },
                       0},
        // But a revoked certificate refuses whatever else could not be checked.
        RevocationCase{"LeafUnreachableIntermediateRevoked",
                       [](fake::FileSignature& s) {
                         s.chain[0].revocation = fake::Revocation::Offline;
                         s.chain[1].revocation = fake::Revocation::Revoked;
                       },
                       kRevoked},
        // A verified timestamp's time counts, as for expiry: a certificate
        // revoked after the signature was stamped does not refuse it...
        RevocationCase{"LeafRevokedAfterTheStampedTime",
                       [](fake::FileSignature& s) {
                         stamped_30_days_ago(s);
                         s.chain[0].revocation = fake::Revocation::Revoked;
                         s.chain[0].revoked_at = fake::kNow - 10 * fake::kDay;
                       },
                       0},
        // ...one revoked before it does,
        RevocationCase{"LeafRevokedBeforeTheStampedTime",
                       [](fake::FileSignature& s) {
                         stamped_30_days_ago(s);
                         s.chain[0].revocation = fake::Revocation::Revoked;
                         s.chain[0].revoked_at = fake::kNow - 40 * fake::kDay;
                       },
                       kRevoked},
        // ...and a timestamp that did not verify changes nothing.
        RevocationCase{"LeafRevokedWithABrokenTimestamp",
                       [](fake::FileSignature& s) {
                         s.counter_signers = {
                             fake::CounterSigner{.time = fake::kNow - 30 * fake::kDay, .error = kCounterSignerError}};
                         s.chain[0].revocation = fake::Revocation::Revoked;
                         s.chain[0].revoked_at = fake::kNow - 10 * fake::kDay;
                       },
                       kRevoked},
        // A root is withdrawn from the trusted roots, not revoked: it is
        // not asked about.
        RevocationCase{"RootListedAsRevoked",
                       [](fake::FileSignature& s) { s.chain[2].revocation = fake::Revocation::Revoked; }, 0},
        // A chain that cannot be built at all refuses, with its error.
        RevocationCase{"ChainCannotBeBuilt", [](fake::FileSignature& s) { s.chain_build_error = 14; }, 14},
        RevocationCase{"ChainCannotBeBuiltWithoutAnError", [](fake::FileSignature& s) { s.chain_build_error = 0; },
                       0x800B0004}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// The revocation chain: the current user's engine, as WinVerifyTrust's; the
// leaf with the signature's certificates; every certificate but the root;
// the network allowed for revocation only, with one time limit for all of
// it; freed before the verify state is closed.
TEST_F(SignatureCheckTest, AsksForRevocationOfTheChainWithOneTimeLimit) {
  fake::FileSignature signature = fake::signed_by(kVendor.units);
  signature.chain[0].revocation = fake::Revocation::Offline;
  signature.chain[1].revocation = fake::Revocation::Offline;
  w().signatures[kFile] = signature;
  ASSERT_TRUE(check(kVendor, kRootPin).has_value()) << last_text_;

  ASSERT_EQ(w().chain_builds.size(), 1u);
  const fake::ChainBuild& build = w().chain_builds[0];
  EXPECT_TRUE(build.current_user_engine);
  EXPECT_EQ(build.certificate, kVendor.units);
  EXPECT_TRUE(build.signature_store);
  EXPECT_EQ(build.time, std::nullopt);
  EXPECT_EQ(build.para_size, sizeof(win::CERT_CHAIN_PARA));
  EXPECT_EQ(build.usage_type, win::USAGE_MATCH_TYPE_AND);
  EXPECT_EQ(build.usage_count, 0u);
  EXPECT_EQ(build.url_timeout, kRevocationWaitMilliseconds);
  EXPECT_EQ(build.flags, win::CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT |
                             win::CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT |
                             win::CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL);
  EXPECT_TRUE(build.reserved_null);
  // Two servers that never answer hold the check for at most the limit in
  // all (on the fake's clock, as Windows documents the limits).
  EXPECT_EQ(kRevocationWaitMilliseconds, 10'000u);
  EXPECT_GT(build.revocation_wait_ms, 0u);
  EXPECT_LE(build.revocation_wait_ms, kRevocationWaitMilliseconds);

  // Asked last, after the signer's name and the authority, and released
  // before the verify state is closed.
  const std::vector<std::string> tail(w().calls.end() - 6, w().calls.end());
  EXPECT_THAT(tail, ElementsAre("CertGetNameStringW(512)", "CryptHashCertificate2", "CryptHashCertificate2",
                                "CertGetCertificateChain", "CertFreeCertificateChain", "WinVerifyTrust(close)"));
}

TEST_F(SignatureCheckTest, WithAVerifiedTimestampRevocationIsJudgedAtItsTime) {
  fake::FileSignature signature = fake::signed_by(kVendor.units);
  stamped_30_days_ago(signature);
  w().signatures[kFile] = signature;
  ASSERT_TRUE(check().has_value()) << last_text_;
  ASSERT_EQ(w().chain_builds.size(), 1u);
  EXPECT_EQ(w().chain_builds[0].time, fake::kNow - 30 * fake::kDay);
}

// Nothing goes to the network for a file that another rule refuses.
TEST_F(SignatureCheckTest, RefusedFilesAreNotAskedAbout) {
  fake::FileSignature signature = fake::signed_by(u"Other Vendor Ltd");
  signature.chain[0].revocation = fake::Revocation::Revoked;
  w().signatures[kFile] = signature;
  ASSERT_FALSE(check().has_value());
  EXPECT_EQ(last_text_, "signed by \"Other Vendor Ltd\", expected \"VANT 软件有限公司\"");
  EXPECT_TRUE(w().chain_builds.empty());

  fake::reset();
  w().add_file(kFile);
  signature = fake::signed_by(kVendor.units);
  signature.chain_error_status = win::CERT_TRUST_IS_UNTRUSTED_ROOT;
  w().signatures[kFile] = signature;
  ASSERT_FALSE(check().has_value());
  EXPECT_TRUE(w().chain_builds.empty());
}

}  // namespace
}  // namespace vant
