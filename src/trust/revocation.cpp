#include "trust/revocation.h"

namespace vant {

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
  const win::CERT_CHAIN_CONTEXT* chain = nullptr;
  if (!trust.CertGetCertificateChain(win::HCCE_CURRENT_USER, &leaf, time, leaf.hCertStore, &para, kFlags, nullptr,
                                     &chain)) {
    return std::unexpected(SystemError::from_code(failed_call_code()));
  }
  const bool revoked = (chain->TrustStatus.dwErrorStatus & win::CERT_TRUST_IS_REVOKED) != 0;
  trust.CertFreeCertificateChain(chain);
  if (revoked) return std::unexpected(SystemError::from_code(win::CRYPT_E_REVOKED));
  return {};
}

}  // namespace vant
