// The vendor's certificate authority pinned: a chain that Windows trusts
// may end in any root this PC trusts, including ones that someone added (an
// enterprise's own, a debugging proxy's, one in the user's own store), and
// whoever holds such a root's key can issue a certificate in the vendor's
// name. Only the vendor's own certificate authority, named by fingerprint
// when the program is built, is accepted.
#pragma once

#include <expected>
#include <span>

#include "platform/system_error.h"
#include "platform/win_api.h"
#include "trust/ca_fingerprint.h"
#include "trust/trust_functions.h"

namespace vant {

// Whether a certificate of `chain`'s first simple chain (rgpChain[0])
// other than its leaf (an issuer: an intermediate or the root) has one of
// the fingerprints `pinned`, the
// SHA-256 of its whole DER encoding as Windows computes it. No pins: true,
// without computing anything. Errors: CryptHashCertificate2's (failed_call_code).
std::expected<bool, SystemError> holds_pinned_authority(const TrustFunctions& trust,
                                                        const win::CERT_CHAIN_CONTEXT& chain,
                                                        std::span<const CaFingerprint> pinned);

}  // namespace vant
