// Revocation, soft-fail. A vendor whose signing key is stolen has its
// certificate revoked; from then on the thief's installers must not start.
// But a revocation server that cannot be reached, or a certificate without
// revocation information, must not stop every installation: then the check
// goes on as without revocation.
//
// WinVerifyTrust could check revocation itself, but it takes no time limit
// for the fetches (WINTRUST_DATA has no such field, and Windows' default is
// 15 s for each URL, of which a chain can name several). So the signature
// is verified without revocation and without the network, and revocation is
// asked of a chain of its own, built with one limit for all its fetches.
#pragma once

#include <expected>

#include "platform/system_error.h"
#include "platform/win_api.h"
#include "trust/trust_functions.h"

namespace vant {

// The longest Windows may spend fetching revocation information (CRLs and
// OCSP answers) for one check, all fetches together. Windows gives each
// fetch half of what is left of it.
inline constexpr win::DWORD kRevocationWaitMilliseconds = 10'000;

// Refuses only when Windows says that a certificate of the leaf's chain is
// revoked. The chain is built again from `leaf`, a signer's leaf (its store
// holds the certificates the signature carries), at `time` (null: now): a
// certificate revoked after that time does not count, as when Windows
// judges a timestamped signature. Every certificate but the root is checked
// (a root is withdrawn by removing it from the trusted roots, which the
// verified chain shows); CRLs and OCSP answers may be fetched over the
// network for at most kRevocationWaitMilliseconds in all, issuers are taken
// only from what this PC already has. Revocation that could not be checked
// (CERT_TRUST_REVOCATION_STATUS_UNKNOWN: the server unreachable, with
// CERT_TRUST_IS_OFFLINE_REVOCATION, or no revocation information in the
// certificate) does not refuse, nor does any other bit of this chain: the
// verified chain was judged already. Errors: CRYPT_E_REVOKED;
// CertGetCertificateChain's (failed_call_code).
std::expected<void, SystemError> check_revocation(const TrustFunctions& trust, const win::CERT_CONTEXT& leaf,
                                                  const win::FILETIME* time);

}  // namespace vant
