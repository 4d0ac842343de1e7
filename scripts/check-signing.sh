#!/usr/bin/env bash
# Proves the signing step end to end without a real certificate or network:
# makes a throwaway self-signed code-signing certificate, signs a copy of
# each exe with scripts/sign.sh (once with a PEM key and password, once with
# a PKCS#12 file), and verifies the signatures with osslsigncode against
# that certificate. Also checks that a tampered signed exe fails to verify.
#   scripts/check-signing.sh EXE...
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -subj "/CN=VANT test signing/O=VANT" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
  -passout pass:test-pass -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -in "$work/cert.pem" -inkey "$work/key.pem" -passin pass:test-pass \
  -passout pass:test-pass -out "$work/bundle.pfx" 2>/dev/null

# No time-stamping server is reached from here: the signatures go without
# a timestamp, which sign.sh does only when told so.
export VANT_SIGN_NO_TIMESTAMP=1

verify() {
  osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.log" 2>&1
}

for exe in "$@"; do
  name=$(basename "$exe" .exe)
  cp "$exe" "$work/$name-pem.exe"
  cp "$exe" "$work/$name-pfx.exe"
  # Two files in one call, as scripts/dist.sh signs both architectures.
  cp "$exe" "$work/$name-pem-2.exe"
  VANT_SIGN_CERT="$work/cert.pem" VANT_SIGN_KEY="$work/key.pem" VANT_SIGN_PASS=test-pass \
    bash "$here/sign.sh" "$work/$name-pem.exe" "$work/$name-pem-2.exe"
  VANT_SIGN_CERT="$work/bundle.pfx" VANT_SIGN_PASS=test-pass bash "$here/sign.sh" "$work/$name-pfx.exe"

  for signed in "$work/$name-pem.exe" "$work/$name-pem-2.exe" "$work/$name-pfx.exe"; do
    if ! verify "$signed"; then
      cat "$work/verify.log"
      echo "FAIL: $signed does not verify"
      exit 1
    fi
    grep -q "Message digest algorithm  : SHA256" "$work/verify.log" ||
      { cat "$work/verify.log"; echo "FAIL: not signed with SHA-256"; exit 1; }
    grep -q "Signature verification: ok" "$work/verify.log" ||
      { cat "$work/verify.log"; echo "FAIL: no verified signature"; exit 1; }
  done

  # Not a formality: one changed byte of the program breaks the signature.
  cp "$work/$name-pem.exe" "$work/$name-tampered.exe"
  printf 'X' | dd of="$work/$name-tampered.exe" bs=1 seek=1024 conv=notrunc status=none
  if verify "$work/$name-tampered.exe"; then
    echo "FAIL: a tampered copy of $exe still verifies"
    exit 1
  fi
  echo "signing verified: $exe"
done
