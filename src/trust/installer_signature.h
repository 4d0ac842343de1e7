// Whether a downloaded file may be started: it must carry a valid
// Authenticode signature whose certificate chain Windows trusts for code
// signing, made by the one signer the program was built for, under one of
// the vendor's certificate authorities, with no certificate revoked.
#pragma once

#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "platform/system_error.h"
#include "platform/win_api.h"
#include "trust/ca_fingerprint.h"

namespace vant {

// A signer's name as its certificate gives it (the simple display name,
// usually the subject's common name), in both forms of the same text:
// UTF-16 for the comparison, UTF-8 for messages.
struct SignerName {
  std::u16string_view units;
  std::string_view text;
};

// Checks files against one expected signer and the vendor's certificate
// authorities. It owns the text of the wrong-signer and wrong-authority
// errors it may return, so such an error is valid while the check lives;
// keep the check as long as the error is used. `authorities` (viewed, not
// copied) empty: any certificate authority that Windows trusts.
class SignatureCheck {
 public:
  explicit SignatureCheck(SignerName expected, std::span<const CaFingerprint> authorities = {})
      : expected_(expected), authorities_(authorities) {}
  SignatureCheck(const SignatureCheck&) = delete;
  SignatureCheck& operator=(const SignatureCheck&) = delete;

  // Passes only if all of these hold for the file open as `file` (read
  // access), which is the file at `path` (a Windows path, as
  // CreateProcessW would get it):
  // - wintrust.dll and crypt32.dll load from the system folder, with every
  //   function the check calls (trust_functions.h);
  // - WinVerifyTrust (generic verify, no UI, no revocation check, no
  //   network) accepts it;
  // - the signer's chain has no error bit, passes the Authenticode chain
  //   policy, its leaf allows code signing, and every certificate of the
  //   chain is valid now or, with a timestamp (a counter-signature) that
  //   Windows verified, at the time it states. Windows' own policy already
  //   checks these; some WinVerifyTrust implementations skip steps for
  //   SHA-256 chains, so they are repeated here;
  // - the leaf's simple display name equals the expected name unit for unit;
  // - with authorities, a certificate of the chain other than the leaf has
  //   one of their fingerprints (authority_pin.h);
  // - Windows does not say that a certificate of the chain is revoked; one
  //   whose revocation could not be checked passes (revocation.h).
  // The verify state is closed again before this returns, whatever the
  // outcome. Errors: the Windows code of the step that refused the file
  // (a failed load's or look-up's last error, WinVerifyTrust's own answer,
  // the chain's error bit as the code Windows' policy gives it, the
  // policy's code, CERT_E_WRONG_USAGE, CERT_E_EXPIRED, CRYPT_E_REVOKED, a
  // failed call's last error; TRUST_E_SUBJECT_NOT_TRUSTED where there is no
  // more telling code); for another signer or another certificate
  // authority a PermissionDenied message:
  //   signed by "Other Ltd", expected "VANT 软件有限公司"
  //   chain ends in "Some Root" and holds none of the pinned certificate authorities
  // (PermissionDenied, not InvalidData: the file and its signature are
  // intact and valid; it is the signer who is not allowed).
  std::expected<void, SystemError> check(const std::u16string& path, win::HANDLE file);

 private:
  SignerName expected_;
  std::span<const CaFingerprint> authorities_;
  std::string refusal_;
};

}  // namespace vant
