// The real binding of the seam's part that only the installer signer check
// uses: each Invoke* helper calls the wintrust or crypt32 function found by
// GetProcAddress through a pointer of that function's own type from the SDK
// headers (and so with its calling convention, WINAPI); and the kernel32
// function only the check calls, DeleteFileW (for a refused file). Nothing here names a function of
// wintrust or crypt32, so the exe imports neither: the check loads them from
// the system folder when it runs (trust/trust_functions.cpp).
//
// A file of its own so that only a program with the check links any of it:
// the x64 link keeps every function of an object file it takes (each
// function's unwind entry keeps it; seen in a link map), so in
// win_api_windows.cpp these would put dead code and an import the program
// never calls into the exe without a signer.
// Like win_api_windows.cpp it converts types and nothing else, and checks
// every constant and shared structure against the SDK.
#include "platform/win_api.h"

#include <cstddef>
#include <string_view>

// Copies of our constants taken before <windows.h> turns their names into
// macros, so they can be checked against the SDK below.
namespace seam_trust_check {
constexpr auto action = win::WINTRUST_ACTION_GENERIC_VERIFY_V2;
constexpr auto ui_none = win::WTD_UI_NONE;
constexpr auto revoke_none = win::WTD_REVOKE_NONE;
constexpr auto choice_file = win::WTD_CHOICE_FILE;
constexpr auto state_verify = win::WTD_STATEACTION_VERIFY;
constexpr auto state_close = win::WTD_STATEACTION_CLOSE;
constexpr auto revocation_none = win::WTD_REVOCATION_CHECK_NONE;
constexpr auto cache_only = win::WTD_CACHE_ONLY_URL_RETRIEVAL;
constexpr auto ui_execute = win::WTD_UICONTEXT_EXECUTE;
constexpr auto simple_display = win::CERT_NAME_SIMPLE_DISPLAY_TYPE;
constexpr std::u16string_view sha256 = win::BCRYPT_SHA256_ALGORITHM;
constexpr auto cache_only_chain = win::CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL;
constexpr auto revocation_exclude_root = win::CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT;
constexpr auto accumulative_timeout = win::CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT;
constexpr auto usage_and = win::USAGE_MATCH_TYPE_AND;
constexpr auto current_user_engine = win::HCCE_CURRENT_USER;
constexpr auto more_data = win::ERROR_MORE_DATA;
constexpr auto not_found = win::CRYPT_E_NOT_FOUND;
constexpr auto no_signature = win::TRUST_E_NOSIGNATURE;
constexpr auto not_trusted = win::TRUST_E_SUBJECT_NOT_TRUSTED;
constexpr auto bad_digest = win::TRUST_E_BAD_DIGEST;
constexpr auto cert_signature = win::TRUST_E_CERT_SIGNATURE;
constexpr auto basic_constraints = win::TRUST_E_BASIC_CONSTRAINTS;
constexpr auto explicit_distrust = win::TRUST_E_EXPLICIT_DISTRUST;
constexpr auto expired = win::CERT_E_EXPIRED;
constexpr auto untrusted_root = win::CERT_E_UNTRUSTEDROOT;
constexpr auto chaining = win::CERT_E_CHAINING;
constexpr auto wrong_usage = win::CERT_E_WRONG_USAGE;
constexpr auto revoked = win::CRYPT_E_REVOKED;
constexpr auto no_revocation_check = win::CRYPT_E_NO_REVOCATION_CHECK;
constexpr auto revocation_offline = win::CRYPT_E_REVOCATION_OFFLINE;
constexpr auto revocation_unknown = win::CERT_TRUST_REVOCATION_STATUS_UNKNOWN;
constexpr auto offline_revocation = win::CERT_TRUST_IS_OFFLINE_REVOCATION;
constexpr auto not_time_valid = win::CERT_TRUST_IS_NOT_TIME_VALID;
constexpr auto is_revoked = win::CERT_TRUST_IS_REVOKED;
constexpr auto not_signature_valid = win::CERT_TRUST_IS_NOT_SIGNATURE_VALID;
constexpr auto not_valid_for_usage = win::CERT_TRUST_IS_NOT_VALID_FOR_USAGE;
constexpr auto is_untrusted_root = win::CERT_TRUST_IS_UNTRUSTED_ROOT;
constexpr auto is_cyclic = win::CERT_TRUST_IS_CYCLIC;
constexpr auto invalid_basic_constraints = win::CERT_TRUST_INVALID_BASIC_CONSTRAINTS;
constexpr auto partial_chain = win::CERT_TRUST_IS_PARTIAL_CHAIN;
constexpr auto is_explicit_distrust = win::CERT_TRUST_IS_EXPLICIT_DISTRUST;
constexpr auto authenticode_policy = win::CERT_CHAIN_POLICY_AUTHENTICODE;
constexpr std::string_view code_signing_usage = win::szOID_PKIX_KP_CODE_SIGNING;
using Guid = win::GUID;
using FileTime = win::FILETIME;
using FileInfo = win::WINTRUST_FILE_INFO;
using TrustData = win::WINTRUST_DATA;
using TrustStatus = win::CERT_TRUST_STATUS;
using CertContext = win::CERT_CONTEXT;
using ChainElement = win::CERT_CHAIN_ELEMENT;
using SimpleChain = win::CERT_SIMPLE_CHAIN;
using ChainContext = win::CERT_CHAIN_CONTEXT;
using ProviderSigner = win::CRYPT_PROVIDER_SGNR;
using EnhancedKeyUsage = win::CERT_ENHKEY_USAGE;
using UsageMatch = win::CERT_USAGE_MATCH;
using ChainPara = win::CERT_CHAIN_PARA;
using PolicyPara = win::CERT_CHAIN_POLICY_PARA;
using PolicyStatus = win::CERT_CHAIN_POLICY_STATUS;
}  // namespace seam_trust_check

// The whole CERT_CHAIN_PARA, with the URL retrieval timeout.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include <windows.h>
#include <bcrypt.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

namespace {
constexpr GUID kVerifyV2 = WINTRUST_ACTION_GENERIC_VERIFY_V2;
constexpr bool same_guid(const seam_trust_check::Guid& ours, const GUID& theirs) {
  if (ours.Data1 != theirs.Data1 || ours.Data2 != theirs.Data2 || ours.Data3 != theirs.Data3) return false;
  for (int i = 0; i < 8; ++i) {
    if (ours.Data4[i] != theirs.Data4[i]) return false;
  }
  return true;
}
constexpr bool same_text(std::u16string_view ours, const wchar_t* theirs) {
  std::size_t i = 0;
  for (; theirs[i] != 0; ++i) {
    if (i == ours.size() || ours[i] != static_cast<char16_t>(theirs[i])) return false;
  }
  return i == ours.size();
}
}  // namespace

static_assert(same_guid(seam_trust_check::action, kVerifyV2));
static_assert(seam_trust_check::ui_none == WTD_UI_NONE);
static_assert(seam_trust_check::revoke_none == WTD_REVOKE_NONE);
static_assert(seam_trust_check::choice_file == WTD_CHOICE_FILE);
static_assert(seam_trust_check::state_verify == WTD_STATEACTION_VERIFY);
static_assert(seam_trust_check::state_close == WTD_STATEACTION_CLOSE);
static_assert(seam_trust_check::revocation_none == WTD_REVOCATION_CHECK_NONE);
static_assert(seam_trust_check::cache_only == WTD_CACHE_ONLY_URL_RETRIEVAL);
static_assert(seam_trust_check::ui_execute == WTD_UICONTEXT_EXECUTE);
static_assert(seam_trust_check::simple_display == CERT_NAME_SIMPLE_DISPLAY_TYPE);
static_assert(same_text(seam_trust_check::sha256, BCRYPT_SHA256_ALGORITHM));
static_assert(seam_trust_check::cache_only_chain == CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL);
static_assert(seam_trust_check::revocation_exclude_root == CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT);
static_assert(seam_trust_check::accumulative_timeout == CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT);
static_assert(seam_trust_check::usage_and == USAGE_MATCH_TYPE_AND);
static_assert(static_cast<std::uintptr_t>(seam_trust_check::current_user_engine) ==
              reinterpret_cast<std::uintptr_t>(HCCE_CURRENT_USER));
static_assert(seam_trust_check::more_data == ERROR_MORE_DATA);
static_assert(seam_trust_check::not_found == static_cast<DWORD>(CRYPT_E_NOT_FOUND));
static_assert(seam_trust_check::no_signature == TRUST_E_NOSIGNATURE);
static_assert(seam_trust_check::not_trusted == TRUST_E_SUBJECT_NOT_TRUSTED);
static_assert(seam_trust_check::bad_digest == TRUST_E_BAD_DIGEST);
static_assert(seam_trust_check::cert_signature == TRUST_E_CERT_SIGNATURE);
static_assert(seam_trust_check::basic_constraints == TRUST_E_BASIC_CONSTRAINTS);
static_assert(seam_trust_check::explicit_distrust == TRUST_E_EXPLICIT_DISTRUST);
static_assert(seam_trust_check::expired == CERT_E_EXPIRED);
static_assert(seam_trust_check::untrusted_root == CERT_E_UNTRUSTEDROOT);
static_assert(seam_trust_check::chaining == CERT_E_CHAINING);
static_assert(seam_trust_check::wrong_usage == CERT_E_WRONG_USAGE);
static_assert(seam_trust_check::revoked == CRYPT_E_REVOKED);
static_assert(seam_trust_check::no_revocation_check == CRYPT_E_NO_REVOCATION_CHECK);
static_assert(seam_trust_check::revocation_offline == CRYPT_E_REVOCATION_OFFLINE);
static_assert(seam_trust_check::revocation_unknown == CERT_TRUST_REVOCATION_STATUS_UNKNOWN);
static_assert(seam_trust_check::offline_revocation == CERT_TRUST_IS_OFFLINE_REVOCATION);
static_assert(seam_trust_check::not_time_valid == CERT_TRUST_IS_NOT_TIME_VALID);
static_assert(seam_trust_check::is_revoked == CERT_TRUST_IS_REVOKED);
static_assert(seam_trust_check::not_signature_valid == CERT_TRUST_IS_NOT_SIGNATURE_VALID);
static_assert(seam_trust_check::not_valid_for_usage == CERT_TRUST_IS_NOT_VALID_FOR_USAGE);
static_assert(seam_trust_check::is_untrusted_root == CERT_TRUST_IS_UNTRUSTED_ROOT);
static_assert(seam_trust_check::is_cyclic == CERT_TRUST_IS_CYCLIC);
static_assert(seam_trust_check::invalid_basic_constraints == CERT_TRUST_INVALID_BASIC_CONSTRAINTS);
static_assert(seam_trust_check::partial_chain == CERT_TRUST_IS_PARTIAL_CHAIN);
static_assert(seam_trust_check::is_explicit_distrust == CERT_TRUST_IS_EXPLICIT_DISTRUST);
// CERT_CHAIN_POLICY_AUTHENTICODE is a pointer-sized constant, 2.
static_assert(static_cast<std::uintptr_t>(seam_trust_check::authenticode_policy) == 2);
static_assert(seam_trust_check::code_signing_usage == szOID_PKIX_KP_CODE_SIGNING);

// Structures passed by address or read in place: every field the program
// has must sit where the SDK's does, and the ones the program fills in must
// be whole.
#define SEAM_SAME_FIELD(ours, theirs, field)                                          \
  static_assert(offsetof(seam_trust_check::ours, field) == offsetof(theirs, field) && \
                sizeof(seam_trust_check::ours::field) == sizeof(theirs::field))
static_assert(sizeof(seam_trust_check::Guid) == sizeof(GUID));
static_assert(sizeof(seam_trust_check::FileTime) == sizeof(FILETIME));
static_assert(sizeof(seam_trust_check::FileInfo) == sizeof(WINTRUST_FILE_INFO));
SEAM_SAME_FIELD(FileInfo, WINTRUST_FILE_INFO, cbStruct);
SEAM_SAME_FIELD(FileInfo, WINTRUST_FILE_INFO, pcwszFilePath);
SEAM_SAME_FIELD(FileInfo, WINTRUST_FILE_INFO, hFile);
SEAM_SAME_FIELD(FileInfo, WINTRUST_FILE_INFO, pgKnownSubject);
static_assert(sizeof(seam_trust_check::TrustData) == sizeof(WINTRUST_DATA));
SEAM_SAME_FIELD(TrustData, WINTRUST_DATA, cbStruct);
SEAM_SAME_FIELD(TrustData, WINTRUST_DATA, pPolicyCallbackData);
SEAM_SAME_FIELD(TrustData, WINTRUST_DATA, pSIPClientData);
SEAM_SAME_FIELD(TrustData, WINTRUST_DATA, dwUIChoice);
SEAM_SAME_FIELD(TrustData, WINTRUST_DATA, fdwRevocationChecks);
SEAM_SAME_FIELD(TrustData, WINTRUST_DATA, dwUnionChoice);
SEAM_SAME_FIELD(TrustData, WINTRUST_DATA, pFile);
SEAM_SAME_FIELD(TrustData, WINTRUST_DATA, dwStateAction);
SEAM_SAME_FIELD(TrustData, WINTRUST_DATA, hWVTStateData);
SEAM_SAME_FIELD(TrustData, WINTRUST_DATA, pwszURLReference);
SEAM_SAME_FIELD(TrustData, WINTRUST_DATA, dwProvFlags);
SEAM_SAME_FIELD(TrustData, WINTRUST_DATA, dwUIContext);
static_assert(sizeof(seam_trust_check::TrustStatus) == sizeof(CERT_TRUST_STATUS));
SEAM_SAME_FIELD(TrustStatus, CERT_TRUST_STATUS, dwErrorStatus);
SEAM_SAME_FIELD(TrustStatus, CERT_TRUST_STATUS, dwInfoStatus);
SEAM_SAME_FIELD(CertContext, CERT_CONTEXT, dwCertEncodingType);
SEAM_SAME_FIELD(CertContext, CERT_CONTEXT, pbCertEncoded);
SEAM_SAME_FIELD(CertContext, CERT_CONTEXT, cbCertEncoded);
SEAM_SAME_FIELD(CertContext, CERT_CONTEXT, pCertInfo);
SEAM_SAME_FIELD(CertContext, CERT_CONTEXT, hCertStore);
SEAM_SAME_FIELD(ChainElement, CERT_CHAIN_ELEMENT, cbSize);
SEAM_SAME_FIELD(ChainElement, CERT_CHAIN_ELEMENT, pCertContext);
SEAM_SAME_FIELD(ChainElement, CERT_CHAIN_ELEMENT, TrustStatus);
SEAM_SAME_FIELD(SimpleChain, CERT_SIMPLE_CHAIN, cbSize);
SEAM_SAME_FIELD(SimpleChain, CERT_SIMPLE_CHAIN, TrustStatus);
SEAM_SAME_FIELD(SimpleChain, CERT_SIMPLE_CHAIN, cElement);
SEAM_SAME_FIELD(SimpleChain, CERT_SIMPLE_CHAIN, rgpElement);
SEAM_SAME_FIELD(ChainContext, CERT_CHAIN_CONTEXT, cbSize);
SEAM_SAME_FIELD(ChainContext, CERT_CHAIN_CONTEXT, TrustStatus);
SEAM_SAME_FIELD(ChainContext, CERT_CHAIN_CONTEXT, cChain);
SEAM_SAME_FIELD(ChainContext, CERT_CHAIN_CONTEXT, rgpChain);
// Counter-signers are read as an array of these: the whole size must match.
static_assert(sizeof(seam_trust_check::ProviderSigner) == sizeof(CRYPT_PROVIDER_SGNR));
SEAM_SAME_FIELD(ProviderSigner, CRYPT_PROVIDER_SGNR, cbStruct);
SEAM_SAME_FIELD(ProviderSigner, CRYPT_PROVIDER_SGNR, sftVerifyAsOf);
SEAM_SAME_FIELD(ProviderSigner, CRYPT_PROVIDER_SGNR, csCertChain);
SEAM_SAME_FIELD(ProviderSigner, CRYPT_PROVIDER_SGNR, pasCertChain);
SEAM_SAME_FIELD(ProviderSigner, CRYPT_PROVIDER_SGNR, dwSignerType);
SEAM_SAME_FIELD(ProviderSigner, CRYPT_PROVIDER_SGNR, psSigner);
SEAM_SAME_FIELD(ProviderSigner, CRYPT_PROVIDER_SGNR, dwError);
SEAM_SAME_FIELD(ProviderSigner, CRYPT_PROVIDER_SGNR, csCounterSigners);
SEAM_SAME_FIELD(ProviderSigner, CRYPT_PROVIDER_SGNR, pasCounterSigners);
SEAM_SAME_FIELD(ProviderSigner, CRYPT_PROVIDER_SGNR, pChainContext);
static_assert(sizeof(seam_trust_check::EnhancedKeyUsage) == sizeof(CERT_ENHKEY_USAGE));
SEAM_SAME_FIELD(EnhancedKeyUsage, CERT_ENHKEY_USAGE, cUsageIdentifier);
SEAM_SAME_FIELD(EnhancedKeyUsage, CERT_ENHKEY_USAGE, rgpszUsageIdentifier);
static_assert(sizeof(seam_trust_check::UsageMatch) == sizeof(CERT_USAGE_MATCH));
SEAM_SAME_FIELD(UsageMatch, CERT_USAGE_MATCH, dwType);
SEAM_SAME_FIELD(UsageMatch, CERT_USAGE_MATCH, Usage);
static_assert(sizeof(seam_trust_check::ChainPara) == sizeof(CERT_CHAIN_PARA));
SEAM_SAME_FIELD(ChainPara, CERT_CHAIN_PARA, cbSize);
SEAM_SAME_FIELD(ChainPara, CERT_CHAIN_PARA, RequestedUsage);
SEAM_SAME_FIELD(ChainPara, CERT_CHAIN_PARA, RequestedIssuancePolicy);
SEAM_SAME_FIELD(ChainPara, CERT_CHAIN_PARA, dwUrlRetrievalTimeout);
SEAM_SAME_FIELD(ChainPara, CERT_CHAIN_PARA, fCheckRevocationFreshnessTime);
SEAM_SAME_FIELD(ChainPara, CERT_CHAIN_PARA, dwRevocationFreshnessTime);
SEAM_SAME_FIELD(ChainPara, CERT_CHAIN_PARA, pftCacheResync);
SEAM_SAME_FIELD(ChainPara, CERT_CHAIN_PARA, pStrongSignPara);
SEAM_SAME_FIELD(ChainPara, CERT_CHAIN_PARA, dwStrongSignFlags);
static_assert(sizeof(seam_trust_check::PolicyPara) == sizeof(CERT_CHAIN_POLICY_PARA));
SEAM_SAME_FIELD(PolicyPara, CERT_CHAIN_POLICY_PARA, cbSize);
SEAM_SAME_FIELD(PolicyPara, CERT_CHAIN_POLICY_PARA, dwFlags);
SEAM_SAME_FIELD(PolicyPara, CERT_CHAIN_POLICY_PARA, pvExtraPolicyPara);
static_assert(sizeof(seam_trust_check::PolicyStatus) == sizeof(CERT_CHAIN_POLICY_STATUS));
SEAM_SAME_FIELD(PolicyStatus, CERT_CHAIN_POLICY_STATUS, cbSize);
SEAM_SAME_FIELD(PolicyStatus, CERT_CHAIN_POLICY_STATUS, dwError);
SEAM_SAME_FIELD(PolicyStatus, CERT_CHAIN_POLICY_STATUS, lChainIndex);
SEAM_SAME_FIELD(PolicyStatus, CERT_CHAIN_POLICY_STATUS, lElementIndex);
SEAM_SAME_FIELD(PolicyStatus, CERT_CHAIN_POLICY_STATUS, pvExtraPolicyStatus);
static_assert(sizeof(win::LONG) == sizeof(LONG));
#undef SEAM_SAME_FIELD

namespace {
HANDLE h(win::HANDLE handle) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(handle)); }
LPWSTR w(char16_t* text) { return reinterpret_cast<LPWSTR>(text); }
LPCWSTR w(const char16_t* text) { return reinterpret_cast<LPCWSTR>(text); }
PCCERT_CONTEXT cert(const win::CERT_CONTEXT* context) { return reinterpret_cast<PCCERT_CONTEXT>(context); }
// The procedure as a pointer to a function of the SDK's declared type, for
// example decltype(::WinVerifyTrust); the type carries the calling
// convention. decltype names no symbol, so nothing is imported.
template <class Function>
Function* as(win::FARPROC proc) {
  return reinterpret_cast<Function*>(static_cast<std::uintptr_t>(proc));
}
}  // namespace

namespace win {

BOOL DeleteFileW(const char16_t* lpFileName) { return ::DeleteFileW(w(lpFileName)); }

LONG InvokeWinVerifyTrust(FARPROC proc, HWND hwnd, GUID* pgActionID, WINTRUST_DATA* pWVTData) {
  return as<decltype(::WinVerifyTrust)>(proc)(reinterpret_cast<::HWND>(static_cast<std::uintptr_t>(hwnd)),
                                              reinterpret_cast<::GUID*>(pgActionID), pWVTData);
}
CRYPT_PROVIDER_DATA* InvokeWTHelperProvDataFromStateData(FARPROC proc, HANDLE hStateData) {
  return reinterpret_cast<CRYPT_PROVIDER_DATA*>(as<decltype(::WTHelperProvDataFromStateData)>(proc)(h(hStateData)));
}
CRYPT_PROVIDER_SGNR* InvokeWTHelperGetProvSignerFromChain(FARPROC proc, CRYPT_PROVIDER_DATA* pProvData, DWORD idxSigner,
                                                          BOOL fCounterSigner, DWORD idxCounterSigner) {
  return reinterpret_cast<CRYPT_PROVIDER_SGNR*>(as<decltype(::WTHelperGetProvSignerFromChain)>(proc)(
      reinterpret_cast<::CRYPT_PROVIDER_DATA*>(pProvData), idxSigner, fCounterSigner, idxCounterSigner));
}
BOOL InvokeCertVerifyCertificateChainPolicy(FARPROC proc, CHAIN_POLICY pszPolicyOID,
                                            const CERT_CHAIN_CONTEXT* pChainContext,
                                            CERT_CHAIN_POLICY_PARA* pPolicyPara,
                                            CERT_CHAIN_POLICY_STATUS* pPolicyStatus) {
  return as<decltype(::CertVerifyCertificateChainPolicy)>(proc)(
      reinterpret_cast<LPCSTR>(static_cast<std::uintptr_t>(pszPolicyOID)),
      reinterpret_cast<PCCERT_CHAIN_CONTEXT>(pChainContext), reinterpret_cast<PCERT_CHAIN_POLICY_PARA>(pPolicyPara),
      reinterpret_cast<PCERT_CHAIN_POLICY_STATUS>(pPolicyStatus));
}
BOOL InvokeCertGetEnhancedKeyUsage(FARPROC proc, const CERT_CONTEXT* pCertContext, DWORD dwFlags,
                                   CERT_ENHKEY_USAGE* pUsage, DWORD* pcbUsage) {
  return as<decltype(::CertGetEnhancedKeyUsage)>(proc)(
      cert(pCertContext), dwFlags, reinterpret_cast<PCERT_ENHKEY_USAGE>(pUsage), reinterpret_cast<::DWORD*>(pcbUsage));
}
LONG InvokeCertVerifyTimeValidity(FARPROC proc, const FILETIME* pTimeToVerify, CERT_INFO* pCertInfo) {
  return as<decltype(::CertVerifyTimeValidity)>(proc)(
      const_cast<::FILETIME*>(reinterpret_cast<const ::FILETIME*>(pTimeToVerify)),
      reinterpret_cast<PCERT_INFO>(pCertInfo));
}
DWORD InvokeCertGetNameStringW(FARPROC proc, const CERT_CONTEXT* pCertContext, DWORD dwType, DWORD dwFlags,
                               void* pvTypePara, char16_t* pszNameString, DWORD cchNameString) {
  return as<decltype(::CertGetNameStringW)>(proc)(cert(pCertContext), dwType, dwFlags, pvTypePara, w(pszNameString),
                                                  cchNameString);
}
BOOL InvokeCryptHashCertificate2(FARPROC proc, const char16_t* pwszCNGHashAlgid, DWORD dwFlags, void* pvReserved,
                                 const std::uint8_t* pbEncoded, DWORD cbEncoded, std::uint8_t* pbComputedHash,
                                 DWORD* pcbComputedHash) {
  return as<decltype(::CryptHashCertificate2)>(proc)(w(pwszCNGHashAlgid), dwFlags, pvReserved, pbEncoded, cbEncoded,
                                                     pbComputedHash, reinterpret_cast<::DWORD*>(pcbComputedHash));
}
BOOL InvokeCertGetCertificateChain(FARPROC proc, HCERTCHAINENGINE hChainEngine, const CERT_CONTEXT* pCertContext,
                                   const FILETIME* pTime, HCERTSTORE hAdditionalStore, CERT_CHAIN_PARA* pChainPara,
                                   DWORD dwFlags, void* pvReserved, const CERT_CHAIN_CONTEXT** ppChainContext) {
  return as<decltype(::CertGetCertificateChain)>(proc)(
      reinterpret_cast<::HCERTCHAINENGINE>(static_cast<std::uintptr_t>(hChainEngine)), cert(pCertContext),
      const_cast<::FILETIME*>(reinterpret_cast<const ::FILETIME*>(pTime)),
      reinterpret_cast<::HCERTSTORE>(static_cast<std::uintptr_t>(hAdditionalStore)),
      reinterpret_cast<PCERT_CHAIN_PARA>(pChainPara), dwFlags, pvReserved,
      reinterpret_cast<PCCERT_CHAIN_CONTEXT*>(ppChainContext));
}
void InvokeCertFreeCertificateChain(FARPROC proc, const CERT_CHAIN_CONTEXT* pChainContext) {
  as<decltype(::CertFreeCertificateChain)>(proc)(reinterpret_cast<PCCERT_CHAIN_CONTEXT>(pChainContext));
}

}  // namespace win
