// The fake's Authenticode functions and DeleteFileW. WinVerifyTrust's verify
// step looks the file up in `signatures` and opens a state that owns a
// signer, its counter-signers, a chain context and certificate contexts
// laid out as the seam's structures; the close step frees it all, so a read
// after the close is a use after free that the sanitizer build catches.
// CertGetCertificateChain builds a chain of such a state's certificates,
// with their revocation as `Certificate::revocation` says, until
// CertFreeCertificateChain frees it (the same holds).
//
// The program reaches the wintrust and crypt32 functions only through the
// seam's Invoke* helpers, with an address GetProcAddress gave for the
// library LoadLibraryExW loaded. Each helper here runs the model only when
// the address is that of its function in the system folder's copy of the
// library (system_function below).
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "fake_windows.h"

// The seam keeps these opaque; here they lead back to the model.
struct win::CERT_INFO {
  const fake::Certificate* certificate;
};
struct win::CRYPT_PROVIDER_DATA {
  fake::TrustState* state;
};

namespace fake {

struct TrustState {
  FileSignature signature;
  win::CRYPT_PROVIDER_DATA provider{};
  win::CRYPT_PROVIDER_SGNR signer{};
  std::vector<win::CRYPT_PROVIDER_SGNR> counter_signers;
  // A counter-signer's chain has no elements here: only its status is read.
  std::vector<win::CERT_CHAIN_CONTEXT> counter_chains;
  win::CERT_CHAIN_CONTEXT chain{};
  win::CERT_SIMPLE_CHAIN simple{};
  win::CERT_SIMPLE_CHAIN* simple_list[1] = {};
  std::vector<win::CERT_INFO> infos;
  std::vector<win::CERT_CONTEXT> contexts;
  std::vector<win::CERT_CHAIN_ELEMENT> elements;
  std::vector<win::CERT_CHAIN_ELEMENT*> element_list;

  explicit TrustState(FileSignature file_signature) : signature(std::move(file_signature)) {
    provider.state = this;
    const std::size_t n = signature.chain.size();
    infos.resize(n);
    contexts.resize(n);
    elements.resize(n);
    // The store of the certificates the signature carries: here the
    // state's address, handed back only.
    const auto store = static_cast<win::HCERTSTORE>(reinterpret_cast<std::uintptr_t>(this));
    for (std::size_t i = 0; i < n; ++i) {
      infos[i].certificate = &signature.chain[i];
      const std::string& der = signature.chain[i].der;
      contexts[i] = win::CERT_CONTEXT{1, reinterpret_cast<const std::uint8_t*>(der.data()),
                                      static_cast<DWORD>(der.size()), &infos[i], store};
      elements[i] = win::CERT_CHAIN_ELEMENT{sizeof(win::CERT_CHAIN_ELEMENT), &contexts[i], {0, 0}};
      element_list.push_back(&elements[i]);
    }
    simple = win::CERT_SIMPLE_CHAIN{
        sizeof(win::CERT_SIMPLE_CHAIN), {signature.chain_error_status, 0}, static_cast<DWORD>(n), element_list.data()};
    simple_list[0] = &simple;
    chain = win::CERT_CHAIN_CONTEXT{sizeof(win::CERT_CHAIN_CONTEXT), {signature.chain_error_status, 0}, 1, simple_list};
    signer.cbStruct = sizeof signer;
    signer.csCertChain = static_cast<DWORD>(n);
    signer.pChainContext = n == 0 ? nullptr : &chain;
    // Windows judges the signer at the time of its first counter-signer
    // that verified, else now.
    signer.sftVerifyAsOf = filetime(kNow);
    const std::size_t k = signature.counter_signers.size();
    counter_chains.resize(k);
    counter_signers.resize(k);
    for (std::size_t i = k; i-- > 0;) {
      const CounterSigner& model = signature.counter_signers[i];
      counter_chains[i] =
          win::CERT_CHAIN_CONTEXT{sizeof(win::CERT_CHAIN_CONTEXT), {model.chain_error_status, 0}, 0, nullptr};
      win::CRYPT_PROVIDER_SGNR& counter = counter_signers[i];
      counter.cbStruct = sizeof counter;
      counter.sftVerifyAsOf = filetime(model.time);
      counter.dwSignerType = 0x10;  // SGNR_TYPE_TIMESTAMP
      counter.dwError = model.error;
      counter.pChainContext = model.no_chain ? nullptr : &counter_chains[i];
      if (model.error == 0 && !model.no_chain && model.chain_error_status == 0) {
        signer.sftVerifyAsOf = counter.sftVerifyAsOf;
      }
    }
    signer.csCounterSigners = static_cast<DWORD>(k);
    signer.pasCounterSigners = k == 0 ? nullptr : counter_signers.data();
  }

  static win::FILETIME filetime(std::uint64_t time) {
    return {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
  }
};

FileSignature signed_by(std::u16string_view name) {
  FileSignature signature;
  for (const std::u16string_view certificate :
       {name, std::u16string_view(u"VANT Test Code Signing CA"), std::u16string_view(u"VANT Test Root")}) {
    signature.chain.push_back(
        Certificate{.name = std::u16string(certificate), .der = "certificate of " + utf8(certificate)});
  }
  // The CA certificates allow any use.
  for (std::size_t i = 1; i < 3; ++i) {
    signature.chain[i].usages = {};
    signature.chain[i].any_usage = true;
  }
  return signature;
}

// A chain that CertGetCertificateChain made: one simple chain of
// certificates of an open verification.
struct BuiltChain {
  win::CERT_CHAIN_CONTEXT chain{};
  win::CERT_SIMPLE_CHAIN simple{};
  win::CERT_SIMPLE_CHAIN* simple_list[1] = {};
  std::vector<win::CERT_CHAIN_ELEMENT> elements;
  std::vector<win::CERT_CHAIN_ELEMENT*> element_list;
};

void expire(Certificate& certificate) {
  certificate.not_before = kNow - 366 * kDay;
  certificate.not_after = kNow - kDay;
}

namespace {

void log(std::string entry) { world().record_call(std::move(entry)); }

bool same_guid(const win::GUID& a, const win::GUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::equal(std::begin(a.Data4), std::end(a.Data4), std::begin(b.Data4));
}

TrustState* state_of_chain(const win::CERT_CHAIN_CONTEXT* chain) {
  for (auto& [value, state] : world().trust_states) {
    if (&state->chain == chain) return state.get();
  }
  return nullptr;
}

const Certificate* certificate_of(const win::CERT_CONTEXT* context) {
  for (auto& [value, state] : world().trust_states) {
    for (const win::CERT_CONTEXT& open : state->contexts) {
      if (&open == context) return open.pCertInfo->certificate;
    }
  }
  return nullptr;
}

constexpr win::LONG kFileNotFoundResult = static_cast<win::LONG>(0x80070002);  // HRESULT of error 2
constexpr win::LONG kProviderUnknown = static_cast<win::LONG>(0x800B0001);     // TRUST_E_PROVIDER_UNKNOWN
constexpr win::DWORD kInvalidArgument = 0x80070057;                            // E_INVALIDARG
constexpr win::DWORD kInvalidHandle = 0x80070006;                              // E_HANDLE
constexpr win::DWORD kAccessDenied = 0x80070005;                               // E_ACCESSDENIED

// SHA-256 (FIPS 180-4), what CryptHashCertificate2 computes for
// BCRYPT_SHA256_ALGORITHM.
std::array<std::uint8_t, 32> sha256(const std::uint8_t* data, std::size_t size) {
  static constexpr std::uint32_t k[64] = {
      0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
      0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
      0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
      0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
      0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
      0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
      0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
      0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
  std::uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  // The message, a 1 bit, zeros, and its length in bits: whole 64-byte blocks.
  std::vector<std::uint8_t> message(data, data + size);
  message.push_back(0x80);
  while (message.size() % 64 != 56) message.push_back(0);
  for (int shift = 56; shift >= 0; shift -= 8)
    message.push_back(static_cast<std::uint8_t>(std::uint64_t{size} * 8 >> shift));
  const auto rotr = [](std::uint32_t x, int n) { return x >> n | x << (32 - n); };
  for (std::size_t block = 0; block < message.size(); block += 64) {
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i) {
      const std::uint8_t* b = &message[block + 4 * i];
      w[i] = std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
    }
    for (int i = 16; i < 64; ++i) {
      const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ w[i - 15] >> 3;
      const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ w[i - 2] >> 10;
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
    for (int i = 0; i < 64; ++i) {
      const std::uint32_t t1 = hh + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
      const std::uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      hh = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e, h[5] += f, h[6] += g, h[7] += hh;
  }
  std::array<std::uint8_t, 32> digest{};
  for (int i = 0; i < 32; ++i) digest[i] = static_cast<std::uint8_t>(h[i / 4] >> (24 - 8 * (i % 4)));
  return digest;
}

// The open verification one of whose certificates `context` is, and the
// certificate's place in its chain.
std::pair<TrustState*, std::size_t> state_of_certificate(const win::CERT_CONTEXT* context) {
  for (auto& [value, state] : world().trust_states) {
    for (std::size_t i = 0; i < state->contexts.size(); ++i) {
      if (&state->contexts[i] == context) return {state.get(), i};
    }
  }
  return {nullptr, 0};
}

// CertGetCertificateChain's flags that the program does not use but the
// model answers to.
constexpr DWORD kRevocationCheckEndCert = 0x10000000;    // CERT_CHAIN_REVOCATION_CHECK_END_CERT
constexpr DWORD kRevocationCheckChain = 0x20000000;      // CERT_CHAIN_REVOCATION_CHECK_CHAIN
constexpr DWORD kRevocationCheckCacheOnly = 0x80000000;  // CERT_CHAIN_REVOCATION_CHECK_CACHE_ONLY
// Windows' time limit of one revocation fetch when the caller sets none.
constexpr std::uint64_t kDefaultUrlTimeoutMs = 15'000;

// Whether `proc` is the address GetProcAddress gave for `function` in the
// system folder's `library`, so the model answers the call. An address of
// the same function in a copy loaded from anywhere else would run that
// copy's code on Windows, which the fake cannot know: the call is recorded
// in `foreign_calls` and the helper answers it as a failure. An address
// GetProcAddress never gave, or one of another function, throws.
bool system_function(win::FARPROC proc, std::u16string_view library, std::string_view function) {
  return world().is_system_function(proc, library, function);
}

}  // namespace

// The model of each wintrust and crypt32 function, behind the helpers.
namespace model {

using namespace win;

LONG WinVerifyTrust(HWND hwnd, GUID* pgActionID, WINTRUST_DATA* pWVTData) {
  auto& w = world();
  fake::TrustCall call;
  call.generic_verify_v2 = fake::same_guid(*pgActionID, WINTRUST_ACTION_GENERIC_VERIFY_V2);
  call.window_null = hwnd == NULL_WINDOW;
  call.data_size = pWVTData->cbStruct;
  call.ui_choice = pWVTData->dwUIChoice;
  call.revocation_checks = pWVTData->fdwRevocationChecks;
  call.union_choice = pWVTData->dwUnionChoice;
  call.state_action = pWVTData->dwStateAction;
  call.provider_flags = pWVTData->dwProvFlags;
  call.ui_context = pWVTData->dwUIContext;
  call.state = pWVTData->hWVTStateData;
  call.other_fields_null = pWVTData->pPolicyCallbackData == nullptr && pWVTData->pSIPClientData == nullptr &&
                           pWVTData->pwszURLReference == nullptr;
  if (pWVTData->pFile != nullptr) {
    call.file_info_size = pWVTData->pFile->cbStruct;
    call.path = pWVTData->pFile->pcwszFilePath ? pWVTData->pFile->pcwszFilePath : u"";
    call.file_handle_null = pWVTData->pFile->hFile == NULL_HANDLE;
    call.file_handle = pWVTData->pFile->hFile;
    call.other_fields_null = call.other_fields_null && pWVTData->pFile->pgKnownSubject == nullptr;
  }
  w.trust_calls.push_back(call);

  if (pWVTData->dwStateAction == WTD_STATEACTION_CLOSE) {
    fake::log("WinVerifyTrust(close)");
    const auto it = w.trust_states.find(static_cast<std::uintptr_t>(pWVTData->hWVTStateData));
    if (it == w.trust_states.end()) return static_cast<LONG>(fake::kInvalidArgument);
    w.trust_states.erase(it);
    pWVTData->hWVTStateData = NULL_HANDLE;
    return 0;
  }
  fake::log("WinVerifyTrust(verify:" + fake::utf8(call.path) + ")");
  if (!call.generic_verify_v2) return fake::kProviderUnknown;
  if (pWVTData->dwStateAction != WTD_STATEACTION_VERIFY || pWVTData->dwUnionChoice != WTD_CHOICE_FILE ||
      pWVTData->pFile == nullptr) {
    return static_cast<LONG>(fake::kInvalidArgument);
  }
  // With a handle Windows reads the file it refers to, whatever the path
  // names by now; the handle must allow reading.
  std::u16string file = w.file_system_path(call.path);
  if (!call.file_handle_null) {
    const auto object = w.object_of(call.file_handle);
    if (!object || !object->file) return static_cast<LONG>(fake::kInvalidHandle);
    if (!(object->file->access & GENERIC_READ)) return static_cast<LONG>(fake::kAccessDenied);
    file = object->file->path;
  }
  if (w.files.count(file) == 0) return fake::kFileNotFoundResult;
  const auto found = w.signatures.find(file);
  fake::FileSignature signature =
      found != w.signatures.end() ? found->second : fake::FileSignature{.verdict = TRUST_E_NOSIGNATURE};
  // Windows keeps a state for a refused file too; it must be closed alike.
  const std::uintptr_t value = w.next_trust_state;
  w.next_trust_state += 8;
  const LONG verdict = signature.verdict;
  w.trust_states[value] = std::make_shared<fake::TrustState>(std::move(signature));
  pWVTData->hWVTStateData = static_cast<HANDLE>(value);
  w.trust_calls.back().state_out = pWVTData->hWVTStateData;
  return verdict;
}

CRYPT_PROVIDER_DATA* WTHelperProvDataFromStateData(HANDLE hStateData) {
  auto& w = world();
  fake::log("WTHelperProvDataFromStateData");
  const auto it = w.trust_states.find(static_cast<std::uintptr_t>(hStateData));
  return it == w.trust_states.end() ? nullptr : &it->second->provider;
}

CRYPT_PROVIDER_SGNR* WTHelperGetProvSignerFromChain(CRYPT_PROVIDER_DATA* pProvData, DWORD idxSigner,
                                                    BOOL fCounterSigner, DWORD idxCounterSigner) {
  fake::log("WTHelperGetProvSignerFromChain");
  if (pProvData == nullptr || idxSigner != 0) return nullptr;
  fake::TrustState& state = *pProvData->state;
  if (state.signature.no_signer) return nullptr;
  if (fCounterSigner == 0) return &state.signer;
  return idxCounterSigner < state.counter_signers.size() ? &state.counter_signers[idxCounterSigner] : nullptr;
}

BOOL CertVerifyCertificateChainPolicy(CHAIN_POLICY pszPolicyOID, const CERT_CHAIN_CONTEXT* pChainContext,
                                      CERT_CHAIN_POLICY_PARA* pPolicyPara, CERT_CHAIN_POLICY_STATUS* pPolicyStatus) {
  auto& w = world();
  fake::log("CertVerifyCertificateChainPolicy");
  w.policy_calls.push_back({pszPolicyOID, pPolicyPara->cbSize, pPolicyPara->dwFlags,
                            pPolicyPara->pvExtraPolicyPara == nullptr, pPolicyStatus->cbSize});
  fake::TrustState* state = fake::state_of_chain(pChainContext);
  if (state == nullptr || pszPolicyOID != CERT_CHAIN_POLICY_AUTHENTICODE) {
    w.last_error() = fake::kInvalidArgument;
    return 0;
  }
  if (state->signature.policy_call_error) {
    w.last_error() = *state->signature.policy_call_error;
    return 0;
  }
  pPolicyStatus->dwError = state->signature.policy_error;
  return 1;
}

BOOL CertGetEnhancedKeyUsage(const CERT_CONTEXT* pCertContext, DWORD dwFlags, CERT_ENHKEY_USAGE* pUsage,
                             DWORD* pcbUsage) {
  auto& w = world();
  fake::log("CertGetEnhancedKeyUsage");
  const fake::Certificate* certificate = fake::certificate_of(pCertContext);
  if (certificate == nullptr || dwFlags != 0) {
    w.last_error() = fake::kInvalidArgument;
    return 0;
  }
  if (certificate->usage_error) {
    w.last_error() = *certificate->usage_error;
    return 0;
  }
  // Laid out as Windows does: the header, the pointer array, the texts.
  const std::vector<std::string> none;
  const std::vector<std::string>& usages = certificate->any_usage ? none : certificate->usages;
  DWORD size = sizeof(CERT_ENHKEY_USAGE) + static_cast<DWORD>(usages.size() * sizeof(char*));
  for (const std::string& usage : usages) size += static_cast<DWORD>(usage.size() + 1);
  if (certificate->any_usage) w.last_error() = CRYPT_E_NOT_FOUND;
  if (pUsage == nullptr) {
    *pcbUsage = size;
    return 1;
  }
  if (*pcbUsage < size) {
    *pcbUsage = size;
    w.last_error() = ERROR_MORE_DATA;
    return 0;
  }
  auto* bytes = reinterpret_cast<char*>(pUsage);
  auto** pointers = reinterpret_cast<char**>(bytes + sizeof(CERT_ENHKEY_USAGE));
  char* text = reinterpret_cast<char*>(pointers + usages.size());
  pUsage->cUsageIdentifier = static_cast<DWORD>(usages.size());
  pUsage->rgpszUsageIdentifier = usages.empty() ? nullptr : pointers;
  for (std::size_t i = 0; i < usages.size(); ++i) {
    pointers[i] = text;
    std::memcpy(text, usages[i].c_str(), usages[i].size() + 1);
    text += usages[i].size() + 1;
  }
  *pcbUsage = size;
  return 1;
}

LONG CertVerifyTimeValidity(const FILETIME* pTimeToVerify, CERT_INFO* pCertInfo) {
  auto& w = world();
  fake::log("CertVerifyTimeValidity");
  const std::uint64_t time = pTimeToVerify == nullptr
                                 ? fake::kNow
                                 : (std::uint64_t{pTimeToVerify->dwHighDateTime} << 32) | pTimeToVerify->dwLowDateTime;
  w.time_checks_now.push_back(pTimeToVerify == nullptr);
  w.time_checks_at.push_back(time);
  const fake::Certificate& certificate = *pCertInfo->certificate;
  if (time < certificate.not_before) return -1;
  if (time > certificate.not_after) return 1;
  return 0;
}

DWORD CertGetNameStringW(const CERT_CONTEXT* pCertContext, DWORD dwType, DWORD dwFlags, void* pvTypePara,
                         char16_t* pszNameString, DWORD cchNameString) {
  fake::log("CertGetNameStringW(" + std::to_string(cchNameString) + ")");
  const fake::Certificate* certificate = fake::certificate_of(pCertContext);
  // Windows answers an empty text (just the NUL) for what it cannot name.
  std::u16string name;
  if (certificate != nullptr && dwType == CERT_NAME_SIMPLE_DISPLAY_TYPE && dwFlags == 0 && pvTypePara == nullptr) {
    name = certificate->name;
  }
  if (pszNameString == nullptr || cchNameString == 0) return static_cast<DWORD>(name.size() + 1);
  const std::size_t units = std::min<std::size_t>(name.size(), cchNameString - 1);
  std::copy_n(name.begin(), units, pszNameString);
  pszNameString[units] = 0;
  return static_cast<DWORD>(units + 1);
}

BOOL CryptHashCertificate2(const char16_t* pwszCNGHashAlgid, DWORD dwFlags, void* pvReserved,
                           const std::uint8_t* pbEncoded, DWORD cbEncoded, std::uint8_t* pbComputedHash,
                           DWORD* pcbComputedHash) {
  auto& w = world();
  fake::log("CryptHashCertificate2");
  ++w.hash_calls;
  if (pwszCNGHashAlgid == nullptr || std::u16string_view(pwszCNGHashAlgid) != BCRYPT_SHA256_ALGORITHM || dwFlags != 0 ||
      pvReserved != nullptr || pcbComputedHash == nullptr) {
    w.last_error() = fake::kInvalidArgument;
    return 0;
  }
  if (w.hash_error) {
    w.last_error() = *w.hash_error;
    return 0;
  }
  constexpr DWORD kSize = 32;
  if (pbComputedHash == nullptr) {
    *pcbComputedHash = kSize;
    return 1;
  }
  if (*pcbComputedHash < kSize) {
    *pcbComputedHash = kSize;
    w.last_error() = ERROR_MORE_DATA;
    return 0;
  }
  const auto digest = fake::sha256(pbEncoded, cbEncoded);
  std::copy(digest.begin(), digest.end(), pbComputedHash);
  *pcbComputedHash = kSize;
  return 1;
}

// Builds the chain of a certificate of an open verification from it to the
// root, with the issuers of the signature's store: without that store the
// chain ends at the certificate itself, partial (Windows would also look in
// the system's stores, which here hold none of these issuers). Revocation is
// checked as the flags ask (an incomplete chain's last certificate has no
// issuer to check against: unknown); each Offline certificate is one fetch
// that runs into its time limit on the fake's clock, as Windows documents
// the limits: with CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT a fetch gets
// half of what is left of the total (dwUrlRetrievalTimeout, or 20 s),
// without it dwUrlRetrievalTimeout (or 15 s) each.
BOOL CertGetCertificateChain(HCERTCHAINENGINE hChainEngine, const CERT_CONTEXT* pCertContext, const FILETIME* pTime,
                             HCERTSTORE hAdditionalStore, CERT_CHAIN_PARA* pChainPara, DWORD dwFlags, void* pvReserved,
                             const CERT_CHAIN_CONTEXT** ppChainContext) {
  auto& w = world();
  fake::log("CertGetCertificateChain");
  const auto [state, first] = fake::state_of_certificate(pCertContext);
  fake::ChainBuild build;
  build.current_user_engine = hChainEngine == HCCE_CURRENT_USER;
  if (state != nullptr) {
    build.certificate = state->signature.chain[first].name;
    build.signature_store = hAdditionalStore == pCertContext->hCertStore;
  }
  if (pTime != nullptr) build.time = (std::uint64_t{pTime->dwHighDateTime} << 32) | pTime->dwLowDateTime;
  constexpr DWORD kTimeoutCovered = offsetof(CERT_CHAIN_PARA, dwUrlRetrievalTimeout) + sizeof(DWORD);
  if (pChainPara != nullptr) {
    build.para_size = pChainPara->cbSize;
    build.usage_type = pChainPara->RequestedUsage.dwType;
    build.usage_count = pChainPara->RequestedUsage.Usage.cUsageIdentifier;
    if (pChainPara->cbSize >= kTimeoutCovered) build.url_timeout = pChainPara->dwUrlRetrievalTimeout;
  }
  build.flags = dwFlags;
  build.reserved_null = pvReserved == nullptr;
  w.chain_builds.push_back(build);
  fake::ChainBuild& recorded = w.chain_builds.back();

  if (state == nullptr || pChainPara == nullptr || ppChainContext == nullptr ||
      pChainPara->cbSize < offsetof(CERT_CHAIN_PARA, RequestedIssuancePolicy)) {
    w.last_error() = fake::kInvalidArgument;
    return 0;
  }
  if (state->signature.chain_build_error) {
    w.last_error() = *state->signature.chain_build_error;
    return 0;
  }

  const std::size_t end = build.signature_store ? state->contexts.size() : first + 1;
  const bool complete = end == state->contexts.size();
  const std::uint64_t time = build.time.value_or(fake::kNow);
  const bool cache_only = (dwFlags & fake::kRevocationCheckCacheOnly) != 0;
  const bool accumulative = (dwFlags & CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT) != 0;
  std::uint64_t left_ms = build.url_timeout != 0 ? build.url_timeout : 20'000;  // of the total
  const std::uint64_t each_ms = build.url_timeout != 0 ? build.url_timeout : fake::kDefaultUrlTimeoutMs;

  auto built = std::make_shared<fake::BuiltChain>();
  built->elements.reserve(end - first);
  DWORD chain_status = complete ? 0 : CERT_TRUST_IS_PARTIAL_CHAIN;
  for (std::size_t i = first; i < end; ++i) {
    const bool root = complete && i + 1 == end;
    const bool checked = (dwFlags & fake::kRevocationCheckEndCert) != 0               ? i == first
                         : (dwFlags & fake::kRevocationCheckChain) != 0               ? true
                         : (dwFlags & CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT) ? !root
                                                                                      : false;
    DWORD status = 0;
    if (checked) {
      fake::Revocation revocation = state->signature.chain[i].revocation;
      if (cache_only && revocation != fake::Revocation::NoInformation) revocation = fake::Revocation::Offline;
      if (!complete && i + 1 == end) {
        status = CERT_TRUST_REVOCATION_STATUS_UNKNOWN;
      } else if (revocation == fake::Revocation::Revoked) {
        if (state->signature.chain[i].revoked_at <= time) status = CERT_TRUST_IS_REVOKED;
      } else if (revocation == fake::Revocation::Offline) {
        status = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
        if (!cache_only) {
          const std::uint64_t wait_ms = accumulative ? left_ms / 2 : each_ms;
          left_ms -= accumulative ? wait_ms : 0;
          recorded.revocation_wait_ms += wait_ms;
        }
      } else if (revocation == fake::Revocation::NoInformation) {
        status = CERT_TRUST_REVOCATION_STATUS_UNKNOWN;
      }
    }
    built->elements.push_back(CERT_CHAIN_ELEMENT{sizeof(CERT_CHAIN_ELEMENT), &state->contexts[i], {status, 0}});
    chain_status |= status;
  }
  w.now_ns += static_cast<std::int64_t>(recorded.revocation_wait_ms) * 1'000'000;
  for (CERT_CHAIN_ELEMENT& element : built->elements) built->element_list.push_back(&element);
  built->simple = CERT_SIMPLE_CHAIN{sizeof(CERT_SIMPLE_CHAIN),
                                    {chain_status, 0},
                                    static_cast<DWORD>(built->elements.size()),
                                    built->element_list.data()};
  built->simple_list[0] = &built->simple;
  built->chain = CERT_CHAIN_CONTEXT{sizeof(CERT_CHAIN_CONTEXT), {chain_status, 0}, 1, built->simple_list};
  *ppChainContext = &built->chain;
  w.open_chains[&built->chain] = std::move(built);
  return 1;
}

void CertFreeCertificateChain(const CERT_CHAIN_CONTEXT* pChainContext) {
  fake::log("CertFreeCertificateChain");
  // Freeing anything else would corrupt Windows' heap: a bug of the program.
  if (world().open_chains.erase(pChainContext) == 0) {
    throw std::logic_error("CertFreeCertificateChain: not a chain that CertGetCertificateChain made");
  }
}

}  // namespace model
}  // namespace fake

namespace win {

using fake::world;

LONG InvokeWinVerifyTrust(FARPROC proc, HWND hwnd, GUID* pgActionID, WINTRUST_DATA* pWVTData) {
  if (!fake::system_function(proc, u"wintrust.dll", "WinVerifyTrust")) return TRUST_E_SUBJECT_NOT_TRUSTED;
  return fake::model::WinVerifyTrust(hwnd, pgActionID, pWVTData);
}
CRYPT_PROVIDER_DATA* InvokeWTHelperProvDataFromStateData(FARPROC proc, HANDLE hStateData) {
  if (!fake::system_function(proc, u"wintrust.dll", "WTHelperProvDataFromStateData")) return nullptr;
  return fake::model::WTHelperProvDataFromStateData(hStateData);
}
CRYPT_PROVIDER_SGNR* InvokeWTHelperGetProvSignerFromChain(FARPROC proc, CRYPT_PROVIDER_DATA* pProvData, DWORD idxSigner,
                                                          BOOL fCounterSigner, DWORD idxCounterSigner) {
  if (!fake::system_function(proc, u"wintrust.dll", "WTHelperGetProvSignerFromChain")) return nullptr;
  return fake::model::WTHelperGetProvSignerFromChain(pProvData, idxSigner, fCounterSigner, idxCounterSigner);
}
BOOL InvokeCertVerifyCertificateChainPolicy(FARPROC proc, CHAIN_POLICY pszPolicyOID,
                                            const CERT_CHAIN_CONTEXT* pChainContext,
                                            CERT_CHAIN_POLICY_PARA* pPolicyPara,
                                            CERT_CHAIN_POLICY_STATUS* pPolicyStatus) {
  if (!fake::system_function(proc, u"crypt32.dll", "CertVerifyCertificateChainPolicy")) return 0;
  return fake::model::CertVerifyCertificateChainPolicy(pszPolicyOID, pChainContext, pPolicyPara, pPolicyStatus);
}
BOOL InvokeCertGetEnhancedKeyUsage(FARPROC proc, const CERT_CONTEXT* pCertContext, DWORD dwFlags,
                                   CERT_ENHKEY_USAGE* pUsage, DWORD* pcbUsage) {
  if (!fake::system_function(proc, u"crypt32.dll", "CertGetEnhancedKeyUsage")) return 0;
  return fake::model::CertGetEnhancedKeyUsage(pCertContext, dwFlags, pUsage, pcbUsage);
}
LONG InvokeCertVerifyTimeValidity(FARPROC proc, const FILETIME* pTimeToVerify, CERT_INFO* pCertInfo) {
  if (!fake::system_function(proc, u"crypt32.dll", "CertVerifyTimeValidity")) return 1;
  return fake::model::CertVerifyTimeValidity(pTimeToVerify, pCertInfo);
}
DWORD InvokeCertGetNameStringW(FARPROC proc, const CERT_CONTEXT* pCertContext, DWORD dwType, DWORD dwFlags,
                               void* pvTypePara, char16_t* pszNameString, DWORD cchNameString) {
  if (!fake::system_function(proc, u"crypt32.dll", "CertGetNameStringW")) {
    if (pszNameString != nullptr && cchNameString != 0) pszNameString[0] = 0;
    return 1;
  }
  return fake::model::CertGetNameStringW(pCertContext, dwType, dwFlags, pvTypePara, pszNameString, cchNameString);
}

BOOL InvokeCryptHashCertificate2(FARPROC proc, const char16_t* pwszCNGHashAlgid, DWORD dwFlags, void* pvReserved,
                                 const std::uint8_t* pbEncoded, DWORD cbEncoded, std::uint8_t* pbComputedHash,
                                 DWORD* pcbComputedHash) {
  if (!fake::system_function(proc, u"crypt32.dll", "CryptHashCertificate2")) return 0;
  return fake::model::CryptHashCertificate2(pwszCNGHashAlgid, dwFlags, pvReserved, pbEncoded, cbEncoded, pbComputedHash,
                                            pcbComputedHash);
}
BOOL InvokeCertGetCertificateChain(FARPROC proc, HCERTCHAINENGINE hChainEngine, const CERT_CONTEXT* pCertContext,
                                   const FILETIME* pTime, HCERTSTORE hAdditionalStore, CERT_CHAIN_PARA* pChainPara,
                                   DWORD dwFlags, void* pvReserved, const CERT_CHAIN_CONTEXT** ppChainContext) {
  if (!fake::system_function(proc, u"crypt32.dll", "CertGetCertificateChain")) return 0;
  return fake::model::CertGetCertificateChain(hChainEngine, pCertContext, pTime, hAdditionalStore, pChainPara, dwFlags,
                                              pvReserved, ppChainContext);
}
void InvokeCertFreeCertificateChain(FARPROC proc, const CERT_CHAIN_CONTEXT* pChainContext) {
  if (!fake::system_function(proc, u"crypt32.dll", "CertFreeCertificateChain")) return;
  fake::model::CertFreeCertificateChain(pChainContext);
}

BOOL DeleteFileW(const char16_t* lpFileName) {
  auto& w = world();
  const std::u16string path = lpFileName;
  fake::log("DeleteFileW(" + fake::utf8(path) + ")");
  w.delete_requests.push_back(path);
  const std::u16string file = w.file_system_path(path);
  if (const auto it = w.delete_errors.find(file); it != w.delete_errors.end()) {
    w.last_error() = it->second;
    return 0;
  }
  if (w.files.count(file) == 0) {
    w.last_error() = ERROR_FILE_NOT_FOUND;
    return 0;
  }
  // Windows opens the file for deletion, sharing everything: an open
  // without delete sharing, such as a hold, stops it.
  if (const DWORD error = w.sharing_conflict(file, 0x10000, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) {
    w.last_error() = error;
    return 0;
  }
  w.files.erase(file);
  w.contents.erase(file);
  return 1;
}

// Simplified: no access check (the program removes only its own folder).
BOOL RemoveDirectoryW(const char16_t* lpPathName) {
  auto& w = world();
  const std::u16string path = lpPathName;
  fake::log("RemoveDirectoryW(" + fake::utf8(path) + ")");
  const std::u16string folder = w.file_system_path(path);
  const auto it = w.files.find(folder);
  if (it == w.files.end()) {
    w.last_error() = ERROR_FILE_NOT_FOUND;
    return 0;
  }
  if ((it->second & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    w.last_error() = ERROR_DIRECTORY;
    return 0;
  }
  for (const auto& [entry, attributes] : w.files) {
    if (fake::same_no_case(fake::parent_folder(entry), folder)) {
      w.last_error() = ERROR_DIR_NOT_EMPTY;
      return 0;
    }
  }
  w.files.erase(it);
  w.security.erase(folder);
  return 1;
}

}  // namespace win
