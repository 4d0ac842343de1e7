#!/usr/bin/env bash
# Checks that signed exes are fit to publish, however they were signed
# (scripts/sign.sh, signtool on Windows, a signing service):
#   scripts/verify-signatures.sh EXE...
# Each exe must carry an Authenticode signature that osslsigncode verifies
# (the signed digest matches the file's bytes, the signature is the
# certificate's, the chain ends in a root of this system's or of
# VANT_SIGN_CAFILE), with a timestamp that verifies too unless
# VANT_SIGN_NO_TIMESTAMP=1; and all must have the same signer (subject,
# issuer and serial number of the signing certificate). Prints the signer
# and exits 0, or prints one line "finish refused: ..." on stderr (after
# osslsigncode's own error lines) and exits 1.
#
#   VANT_SIGN_CAFILE  PEM file of CA certificates to trust besides this
#                     system's (/etc/ssl/certs/ca-certificates.crt), for a
#                     code-signing or time-stamping root that it lacks
set -euo pipefail

refuse() {
  echo "finish refused: $*" >&2
  exit 1
}

if (($# == 0)); then
  echo "usage: $0 EXE..." >&2
  exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The roots to trust: the system's, and the vendor's own if given.
: >"$work/roots.pem"
if [[ -f /etc/ssl/certs/ca-certificates.crt ]]; then
  cat /etc/ssl/certs/ca-certificates.crt >>"$work/roots.pem"
fi
if [[ -n ${VANT_SIGN_CAFILE:-} ]]; then
  [[ -f $VANT_SIGN_CAFILE ]] || refuse "VANT_SIGN_CAFILE '$VANT_SIGN_CAFILE' is not a file"
  cat "$VANT_SIGN_CAFILE" >>"$work/roots.pem"
fi

first_signer= first_exe=
for exe in "$@"; do
  [[ -f $exe ]] || refuse "$exe is missing"
  rm -f "$work/signature"
  if ! osslsigncode extract-signature -in "$exe" -out "$work/signature" >/dev/null 2>&1; then
    refuse "$exe has no Authenticode signature; sign it, then run this again"
  fi
  if ! osslsigncode verify -CAfile "$work/roots.pem" -TSA-CAfile "$work/roots.pem" -in "$exe" \
    >"$work/verify.log" 2>&1; then
    grep -iE 'error|mismatch|failed' "$work/verify.log" | sort -u >&2 || true
    if grep -q 'MISMATCH' "$work/verify.log"; then
      refuse "$exe was changed after it was signed: its bytes no longer match the signature's digest"
    fi
    refuse "the signature of $exe does not verify (if its chain ends in a root this system lacks, put that root in VANT_SIGN_CAFILE)"
  fi
  # The signing certificate, as osslsigncode prints it first:
  #   Signer's certificate: / Signer #0: / Subject: ... / Issuer : ... / Serial : ...
  signer=$(awk '/^Signer.s certificate:/ { found = 1 }
    found && /Subject:/ { subject = $0 } found && /Issuer :/ { issuer = $0 }
    found && /Serial :/ { print subject "; " issuer "; " $0; exit }' "$work/verify.log" |
    tr -s '\t ' ' ' | sed 's/^ //; s/; /; /g')
  [[ -n $signer ]] || refuse "osslsigncode names no signer for $exe"
  if ! grep -q '^Timestamp Server Signature verification: ok' "$work/verify.log" &&
    [[ ${VANT_SIGN_NO_TIMESTAMP:-} != 1 ]]; then
    refuse "the signature of $exe has no timestamp; it stops verifying when the certificate expires, and Windows then shows an unknown publisher; sign with a timestamp, or set VANT_SIGN_NO_TIMESTAMP=1"
  fi
  if [[ -z $first_exe ]]; then
    first_signer=$signer first_exe=$exe
  elif [[ $signer != "$first_signer" ]]; then
    refuse "$exe and $first_exe have different signers ($(printf '%b' "$signer")) and ($(printf '%b' "$first_signer")); sign both with the same certificate"
  fi
  echo "verified: $exe"
done
# osslsigncode writes a name's bytes beyond ASCII as \xE8...; shown as text.
echo "signer: $(printf '%b' "$first_signer")"
