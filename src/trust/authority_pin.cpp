#include "trust/authority_pin.h"

#include <algorithm>

namespace vant {

std::expected<bool, SystemError> holds_pinned_authority(const TrustFunctions& trust,
                                                        const win::CERT_CHAIN_CONTEXT& chain,
                                                        std::span<const CaFingerprint> pinned) {
  if (pinned.empty()) return true;
  for (win::DWORD c = 0; c < chain.cChain; ++c) {
    const win::CERT_SIMPLE_CHAIN& simple = *chain.rgpChain[c];
    // The leaf is the first element of the first simple chain.
    for (win::DWORD e = c == 0 ? 1 : 0; e < simple.cElement; ++e) {
      const win::CERT_CONTEXT& certificate = *simple.rgpElement[e]->pCertContext;
      CaFingerprint fingerprint{};
      win::DWORD size = sizeof fingerprint;
      if (!trust.CryptHashCertificate2(win::BCRYPT_SHA256_ALGORITHM, 0, nullptr, certificate.pbCertEncoded,
                                       certificate.cbCertEncoded, fingerprint.data(), &size)) {
        return std::unexpected(SystemError::from_code(failed_call_code()));
      }
      if (size == sizeof fingerprint && std::ranges::find(pinned, fingerprint) != pinned.end()) return true;
    }
  }
  return false;
}

}  // namespace vant
