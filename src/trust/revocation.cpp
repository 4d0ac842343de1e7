#include "trust/revocation.h"

#include "platform/unique_resource.h"

namespace vant {
namespace {

// A chain that CertGetCertificateChain made, freed through the function
// that the trust functions found.
struct ChainTraits {
  using Value = const win::CERT_CHAIN_CONTEXT*;
  static constexpr Value kNone = nullptr;
  const TrustFunctions* trust = nullptr;
  void close(Value chain) const { trust->CertFreeCertificateChain(chain); }
};

}  // namespace

std::expected<void, SystemError> check_revocation(const TrustFunctions& trust, const win::CERT_CONTEXT& leaf,
                                                  const win::FILETIME* time) {
  win::CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  // No usage asked for: the verified chain's was checked.
  para.RequestedUsage.dwType = win::USAGE_MATCH_TYPE_AND;
  // With CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT, the limit of all
  // revocation fetches of the chain together; without, of each one.
  para.dwUrlRetrievalTimeout = kRevocationWaitMilliseconds;
  constexpr win::DWORD kFlags = win::CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT |
                                win::CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT |
                                win::CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL;
  const win::CERT_CHAIN_CONTEXT* made = nullptr;
  if (!trust.CertGetCertificateChain(win::HCCE_CURRENT_USER, &leaf, time, leaf.hCertStore, &para, kFlags, nullptr,
                                     &made)) {
    return std::unexpected(SystemError::from_code(failed_call_code()));
  }
  // Owned only once made: after a failure the out value means nothing.
  const UniqueResource<ChainTraits> chain(made, ChainTraits{.trust = &trust});
  if ((chain.get()->TrustStatus.dwErrorStatus & win::CERT_TRUST_IS_REVOKED) != 0) {
    return std::unexpected(SystemError::from_code(win::CRYPT_E_REVOKED));
  }
  return {};
}

}  // namespace vant
