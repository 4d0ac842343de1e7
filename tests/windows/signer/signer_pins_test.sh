#!/usr/bin/env bash
# scripts/signer-pins.sh on the installers make-pki.sh signed: the signer's
# name and the chain's certificate authorities with their fingerprints, as
# openssl gives them for the certificates make-ca.sh made; the signer found
# by its serial whatever the order of the signature's certificates and
# however long the serial; a name without a common name; an unsigned file.
#   signer_pins_test.sh SOURCE_DIR PKI_DIR CA_DIR CHINESE_NAME
set -uo pipefail
root=$1 pki=$2 ca=$3 cn_name=$4
script=$root/scripts/signer-pins.sh
# shellcheck source=../../common/shell_cases.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../common/shell_cases.sh"

# expect FILE EXPECTED_STDOUT: the script prints exactly that and exits 0.
expect() {
  local out status
  out=$(bash "$script" "$1" 2>"$scratch/err")
  status=$?
  if [[ $status -ne 0 || $out != "$2" || -s $scratch/err ]]; then
    fail "$1: expected status 0 and
$2
got status $status and
$out
$(cat "$scratch/err")"
  fi
}

fingerprint() { cat "$ca/$1.sha256"; }
goes_on_to() {
  printf '%s\n%s' "The chain goes on to \"$1\", which the signature does not carry:" \
    "take its fingerprint from its own certificate (openssl x509 -noout -fingerprint -sha256 -in ROOT.crt)."
}
header="Certificate authorities of its chain in the signature (VANT_INSTALLER_SIGNER_CA), issuer first:"
intermediate_lines="  VANT Test Code Signing CA
    SHA-256 $(fingerprint intermediate)"

# The vendor's installer: the signer, the intermediate, and the root it
# does not carry.
expect "$pki/signed/cn.exe" "Signer (VANT_INSTALLER_SIGNER): $cn_name
$header
$intermediate_lines
$(goes_on_to "VANT Test Root")"

# A root that the signature carries.
expect "$pki/signed/other-root.exe" "Signer (VANT_INSTALLER_SIGNER): $cn_name
$header
  VANT Other Trusted Root
    SHA-256 $(fingerprint other-root)
The chain ends in the last of these, a root."

# Leaves issued with a serial that openssl prints in decimal beyond 64 bits
# (16 bytes) and in hex (17 bytes), a name without a common name (the
# organizational unit comes before the organization), and a signature that
# carries another leaf of the same issuer before the signer's.
cd "$pki"
sign_with() {
  local name=$1 subject=$2 serial=$3
  openssl genrsa -out "$scratch/$name.key" 2048 2>/dev/null
  openssl req -config ca.cnf -new -utf8 -key "$scratch/$name.key" -subj "$subject" -out "$scratch/$name.csr" 2>/dev/null
  openssl x509 -req -in "$scratch/$name.csr" -CA intermediate.pem -CAkey intermediate.key -set_serial "$serial" \
    -extfile ca.cnf -extensions code_signing -days 30 -out "$scratch/$name.pem" 2>/dev/null
  cat other.pem intermediate.pem "$scratch/$name.pem" >"$scratch/$name-certs.pem"
  osslsigncode sign -certs "$scratch/$name-certs.pem" -key "$scratch/$name.key" -h sha256 \
    -in signed/unsigned.exe -out "$scratch/$name.exe" >/dev/null
}
sign_with long-serial "/CN=Long Serial Ltd" 0x7F0102030405060708090A0B0C0D0E0F
sign_with longer-serial "/CN=Longer Serial Ltd" 0x01FF0102030405060708090A0B0C0D0E0F
sign_with no-common-name "/O=VANT Organization/OU=VANT Unit" 0x1234
for case in "long-serial:Long Serial Ltd" "longer-serial:Longer Serial Ltd" "no-common-name:VANT Unit"; do
  expect "$scratch/${case%%:*}.exe" "Signer (VANT_INSTALLER_SIGNER): ${case#*:}
$header
$intermediate_lines
$(goes_on_to "VANT Test Root")"
done

# An unsigned file: status 1, one line on the error stream, nothing else.
out=$(bash "$script" "$pki/signed/unsigned.exe" 2>"$scratch/err")
status=$?
if [[ $status -ne 1 || -n $out || $(cat "$scratch/err") != "$pki/signed/unsigned.exe carries no Authenticode signature" ]]; then
  fail "unsigned.exe: status $status, out '$out', err '$(cat "$scratch/err")'"
fi

report_cases signer-pins.sh
