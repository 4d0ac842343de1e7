#include "trust/authority_pin.h"

#include <algorithm>

namespace vant {

std::expected<bool, SystemError> holds_pinned_authority(const TrustFunctions& trust,
                                                        const win::CERT_CHAIN_CONTEXT& chain,
                                                        std::span<const CaFingerprint> pinned) {
  if (pinned.empty()) return true;
  // Only the first simple chain is the one Windows built to a root it
  // trusts; any further ones lead through trust lists, whose certificates
  // Windows did not judge as issuers of this one.
  if (chain.cChain == 0) return false;
  const win::CERT_SIMPLE_CHAIN& simple = *chain.rgpChain[0];
  // The first element is the leaf, never the authority.
  for (win::DWORD e = 1; e < simple.cElement; ++e) {
    const win::CERT_CONTEXT& certificate = *simple.rgpElement[e]->pCertContext;
    CaFingerprint fingerprint{};
    win::DWORD size = sizeof fingerprint;
    if (!trust.CryptHashCertificate2(win::BCRYPT_SHA256_ALGORITHM, 0, nullptr, certificate.pbCertEncoded,
                                     certificate.cbCertEncoded, fingerprint.data(), &size)) {
      return std::unexpected(SystemError::from_code(failed_call_code()));
    }
    if (size == sizeof fingerprint && std::ranges::find(pinned, fingerprint) != pinned.end()) return true;
  }
  return false;
}

}  // namespace vant
