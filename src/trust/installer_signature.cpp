#include "trust/installer_signature.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/unicode.h"
#include "platform/win_api.h"
#include "platform/windows_text.h"
#include "trust/authority_pin.h"
#include "trust/revocation.h"
#include "trust/trust_functions.h"

namespace vant {
namespace {

// One WinVerifyTrust verification of a file and the state it leaves, which
// holds the signer's data (and the file) until it is closed. Closed in the
// destructor whatever the outcome; neither copied nor moved, because the
// request points into the object itself.
class VerifyState {
 public:
  VerifyState(const TrustFunctions& trust, const std::u16string& path, win::HANDLE file) : trust_(trust) {
    file_.cbStruct = sizeof file_;
    file_.pcwszFilePath = path.c_str();
    // Given a handle, Windows reads the file through it (the path must
    // still name the file): what is verified is the file the caller holds,
    // not whatever the path names by then.
    file_.hFile = file;
    data_.cbStruct = sizeof data_;
    data_.dwUIChoice = win::WTD_UI_NONE;
    data_.fdwRevocationChecks = win::WTD_REVOKE_NONE;
    data_.dwUnionChoice = win::WTD_CHOICE_FILE;
    data_.pFile = &file_;
    // WTD_REVOKE_NONE alone still lets the generic verify action check
    // revocation. Neither revocation nor anything else is fetched here:
    // WinVerifyTrust takes no time limit for it, so revocation is asked
    // afterwards, with one (revocation.h).
    data_.dwProvFlags = win::WTD_REVOCATION_CHECK_NONE | win::WTD_CACHE_ONLY_URL_RETRIEVAL;
    data_.dwUIContext = win::WTD_UICONTEXT_EXECUTE;
  }
  VerifyState(const VerifyState&) = delete;
  VerifyState& operator=(const VerifyState&) = delete;

  ~VerifyState() {
    if (!verified_) return;
    data_.dwStateAction = win::WTD_STATEACTION_CLOSE;
    (void)trust_.WinVerifyTrust(win::NULL_WINDOW, &action_, &data_);
  }

  // 0 when Windows accepts the signature, else its code (an HRESULT).
  win::LONG verify() {
    data_.dwStateAction = win::WTD_STATEACTION_VERIFY;
    verified_ = true;
    return trust_.WinVerifyTrust(win::NULL_WINDOW, &action_, &data_);
  }

  // The primary signer, while the state is open; null if Windows has none.
  const win::CRYPT_PROVIDER_SGNR* signer() const {
    win::CRYPT_PROVIDER_DATA* provider = trust_.WTHelperProvDataFromStateData(data_.hWVTStateData);
    if (provider == nullptr) return nullptr;
    return trust_.WTHelperGetProvSignerFromChain(provider, 0, 0, 0);
  }

 private:
  const TrustFunctions& trust_;
  win::GUID action_ = win::WINTRUST_ACTION_GENERIC_VERIFY_V2;
  win::WINTRUST_FILE_INFO file_{};
  win::WINTRUST_DATA data_{};
  bool verified_ = false;
};

struct ChainErrorCode {
  win::DWORD bits;
  win::LONG code;
};

// A chain error bit as the code Windows' chain policy reports for it; the
// first row that matches wins, so the most telling reason comes first.
constexpr ChainErrorCode kChainErrorCodes[] = {
    {win::CERT_TRUST_IS_NOT_SIGNATURE_VALID, win::TRUST_E_CERT_SIGNATURE},
    {win::CERT_TRUST_IS_PARTIAL_CHAIN | win::CERT_TRUST_IS_CYCLIC, win::CERT_E_CHAINING},
    {win::CERT_TRUST_IS_UNTRUSTED_ROOT, win::CERT_E_UNTRUSTEDROOT},
    {win::CERT_TRUST_IS_EXPLICIT_DISTRUST, win::TRUST_E_EXPLICIT_DISTRUST},
    {win::CERT_TRUST_IS_NOT_VALID_FOR_USAGE, win::CERT_E_WRONG_USAGE},
    {win::CERT_TRUST_IS_NOT_TIME_VALID, win::CERT_E_EXPIRED},
    {win::CERT_TRUST_IS_REVOKED, win::CRYPT_E_REVOKED},
    {win::CERT_TRUST_INVALID_BASIC_CONSTRAINTS, win::TRUST_E_BASIC_CONSTRAINTS},
};

win::LONG chain_error_code(win::DWORD error_status) {
  for (const ChainErrorCode& row : kChainErrorCodes) {
    if ((error_status & row.bits) != 0) return row.code;
  }
  return win::TRUST_E_SUBJECT_NOT_TRUSTED;
}

// The Authenticode chain policy's verdict on the chain: 0 or a code.
win::LONG chain_policy_code(const TrustFunctions& trust, const win::CERT_CHAIN_CONTEXT* chain) {
  win::CERT_CHAIN_POLICY_PARA para{sizeof(win::CERT_CHAIN_POLICY_PARA), 0, nullptr};
  win::CERT_CHAIN_POLICY_STATUS status{sizeof(win::CERT_CHAIN_POLICY_STATUS), 0, 0, 0, nullptr};
  if (!trust.CertVerifyCertificateChainPolicy(win::CERT_CHAIN_POLICY_AUTHENTICODE, chain, &para, &status)) {
    return failed_call_code();
  }
  return static_cast<win::LONG>(status.dwError);
}

// 0 if the certificate's enhanced key usage allows code signing, else a
// code. A certificate without any usage restriction allows every use;
// Windows tells that apart from "no use at all" only by the last error.
win::LONG code_signing_usage_code(const TrustFunctions& trust, const win::CERT_CONTEXT* certificate) {
  win::DWORD size = 0;
  if (!trust.CertGetEnhancedKeyUsage(certificate, 0, nullptr, &size)) return failed_call_code();
  // The answer holds pointers into itself: give it pointer alignment.
  const auto storage = std::make_unique<void*[]>(size / sizeof(void*) + 1);
  auto* usage = reinterpret_cast<win::CERT_ENHKEY_USAGE*>(storage.get());
  win::SetLastError(0);
  if (!trust.CertGetEnhancedKeyUsage(certificate, 0, usage, &size)) return failed_call_code();
  if (usage->cUsageIdentifier == 0 && win::GetLastError() == win::CRYPT_E_NOT_FOUND) return 0;
  for (win::DWORD i = 0; i < usage->cUsageIdentifier; ++i) {
    const char* identifier = usage->rgpszUsageIdentifier[i];
    if (identifier != nullptr && std::string_view(identifier) == win::szOID_PKIX_KP_CODE_SIGNING) return 0;
  }
  return win::CERT_E_WRONG_USAGE;
}

// The counter-signature whose time the signer's chain is judged at: the
// first one that Windows verified itself (no error, and a chain without an
// error bit), else none. A counter-signature sits outside the signed data,
// so anyone can add one to a signed file, a broken one included; an
// unverified one must not change the verdict.
const win::CRYPT_PROVIDER_SGNR* verified_counter_signer(const win::CRYPT_PROVIDER_SGNR& signer) {
  for (win::DWORD i = 0; i < signer.csCounterSigners && signer.pasCounterSigners != nullptr; ++i) {
    const win::CRYPT_PROVIDER_SGNR& counter = signer.pasCounterSigners[i];
    if (counter.dwError == 0 && counter.pChainContext != nullptr &&
        counter.pChainContext->TrustStatus.dwErrorStatus == 0) {
      return &counter;
    }
  }
  return nullptr;
}

// Whether every certificate of the chain is valid at `time` (null: now).
bool every_certificate_valid_at(const TrustFunctions& trust, const win::CERT_CHAIN_CONTEXT& chain,
                                const win::FILETIME* time) {
  for (win::DWORD c = 0; c < chain.cChain; ++c) {
    const win::CERT_SIMPLE_CHAIN& simple = *chain.rgpChain[c];
    for (win::DWORD e = 0; e < simple.cElement; ++e) {
      const win::CERT_CONTEXT* certificate = simple.rgpElement[e]->pCertContext;
      if (trust.CertVerifyTimeValidity(time, certificate->pCertInfo) != 0) return false;
    }
  }
  return true;
}

// What the repeated checks passed, valid while the verify state is open.
struct VerifiedSigner {
  const win::CERT_CHAIN_CONTEXT* chain = nullptr;
  const win::CERT_CONTEXT* leaf = nullptr;
  // The time the chain was judged at: a verified timestamp's, or null for now.
  const win::FILETIME* time = nullptr;
};

// 0 if Windows accepts the signature and the signer's chain passes the
// repeated checks, else the code of the first step that refused it.
win::LONG refusal_code(const TrustFunctions& trust, VerifyState& state, VerifiedSigner& verified) {
  if (const win::LONG verdict = state.verify(); verdict != 0) return verdict;

  // Windows accepted a signature, so it has a signer with a chain; if it
  // ever does not, there is no signature to trust.
  const win::CRYPT_PROVIDER_SGNR* signer = state.signer();
  if (signer == nullptr || signer->pChainContext == nullptr) return win::TRUST_E_NOSIGNATURE;
  const win::CERT_CHAIN_CONTEXT& chain = *signer->pChainContext;
  if (chain.cChain == 0 || chain.rgpChain[0]->cElement == 0) return win::TRUST_E_NOSIGNATURE;
  const win::CERT_CONTEXT* leaf = chain.rgpChain[0]->rgpElement[0]->pCertContext;
  if (leaf == nullptr) return win::TRUST_E_NOSIGNATURE;

  if (chain.TrustStatus.dwErrorStatus != 0) return chain_error_code(chain.TrustStatus.dwErrorStatus);
  if (const win::LONG policy = chain_policy_code(trust, &chain); policy != 0) return policy;
  if (const win::LONG usage = code_signing_usage_code(trust, leaf); usage != 0) return usage;
  // Every certificate must be valid now, or at the time a verified
  // timestamp states: that is the point of one, a signature made while the
  // certificate was valid stays valid. Not merely skipped for a timestamp:
  // a genuine timestamp server stamps any signature with the current time,
  // an expired key's included, and that time is then past the expiry.
  const win::CRYPT_PROVIDER_SGNR* stamp = verified_counter_signer(*signer);
  const win::FILETIME* time = stamp != nullptr ? &stamp->sftVerifyAsOf : nullptr;
  if (!every_certificate_valid_at(trust, chain, time)) return win::CERT_E_EXPIRED;
  verified = {&chain, leaf, time};
  return 0;
}

// CertGetNameStringW as fill_text_buffer calls it: the certificate's simple
// display name, exactly the units Windows gives (an embedded NUL included).
// CertGetNameStringW counts the terminating NUL and cuts a name that does
// not fit, so a full buffer is told apart from a cut name by asking for the
// size.
struct SimpleDisplayName {
  const TrustFunctions& trust;
  const win::CERT_CONTEXT* certificate;

  win::DWORD operator()(win::DWORD size, char16_t* buffer) const {
    const win::DWORD written =
        trust.CertGetNameStringW(certificate, win::CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, buffer, size);
    if (written < size) return written == 0 ? 0 : written - 1;
    const win::DWORD needed =
        trust.CertGetNameStringW(certificate, win::CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
    return needed > size ? needed : size - 1;
  }
};

// A name as message text: units that are not valid UTF-16 become U+FFFD.
std::string shown_name(std::span<const char16_t> name) {
  std::string wtf8;
  append_wtf8_from_utf16(wtf8, name);
  return utf8_for_display(wtf8);
}

}  // namespace

std::expected<void, SystemError> SignatureCheck::check(const std::u16string& path, win::HANDLE file) {
  const auto trust = TrustFunctions::load();
  if (!trust) return std::unexpected(trust.error());
  VerifyState state(*trust, path, file);
  VerifiedSigner verified;
  if (const win::LONG code = refusal_code(*trust, state, verified); code != 0) {
    return std::unexpected(SystemError::from_code(code));
  }

  // The signer: the leaf's name, compared unit for unit.
  const auto same_name =
      fill_text_buffer(SimpleDisplayName{*trust, verified.leaf}, [this](std::span<const char16_t> name) {
        if (std::u16string_view(name.data(), name.size()) == expected_.units) return true;
        refusal_.assign("signed by \"").append(shown_name(name)).append("\", expected \"");
        refusal_.append(expected_.text).append("\"");
        return false;
      });
  if (!same_name) return std::unexpected(same_name.error());
  if (!*same_name) return std::unexpected(SystemError::fixed_view(SystemErrorKind::PermissionDenied, refusal_));

  // The certificate authority: one of the pinned ones must be in the chain.
  // The refusal names the root the chain ends in, the last certificate of
  // its last simple chain (the leaf's chain holds one at least).
  const auto pinned = holds_pinned_authority(*trust, *verified.chain, authorities_);
  if (!pinned) return std::unexpected(pinned.error());
  if (!*pinned) {
    const win::CERT_SIMPLE_CHAIN& last = *verified.chain->rgpChain[verified.chain->cChain - 1];
    const win::CERT_CONTEXT* root =
        last.cElement != 0 ? last.rgpElement[last.cElement - 1]->pCertContext : verified.leaf;
    const auto named = fill_text_buffer(SimpleDisplayName{*trust, root}, [this](std::span<const char16_t> name) {
      refusal_.assign("chain ends in \"").append(shown_name(name));
      refusal_.append("\" and holds none of the pinned certificate authorities");
      return true;
    });
    if (!named) return std::unexpected(named.error());
    return std::unexpected(SystemError::fixed_view(SystemErrorKind::PermissionDenied, refusal_));
  }

  // Last, and only for a file that passed everything else: revocation,
  // which may ask the network.
  return check_revocation(*trust, *verified.leaf, verified.time);
}

}  // namespace vant
