#!/usr/bin/env bash
# scripts/signer-pins.sh on signatures whose certificates would mislead a
# search by serial number or by name, made here with throwaway keys:
# - the signer and its issuing CA have the same serial (from two issuers):
#   the signer is the certificate the signer info names by issuer and serial;
# - two CAs have the name the signer's issuer has, and only one has the key
#   that issued it: the chain follows the key identifiers;
# - CAs without key identifiers: the chain follows the names;
# - CAs whose names issue each other in a loop, and CAs whose key
#   identifiers do: it stops, saying so;
# - a chain longer than 10 CAs: it stops after 10, saying so.
#   signer_pins_chain_test.sh SOURCE_DIR
set -uo pipefail
root=$(cd "$1" && pwd)
script=$root/scripts/signer-pins.sh
# shellcheck source=../common/shell_cases.sh
source "$(dirname "${BASH_SOURCE[0]}")/../common/shell_cases.sh"

for tool in osslsigncode openssl x86_64-w64-mingw32-gcc; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (bash scripts/setup.sh installs it)"; exit 1; }
done
cd "$scratch" || exit 1
echo 'int main(void) { return 0; }' >program.c
x86_64-w64-mingw32-gcc -s -o program.exe program.c || { echo "FAIL: cannot build a program to sign"; exit 1; }

# Key identifiers: "with" (subject and authority key identifiers) or
# "without" (neither, so that only names link the certificates).
extensions() { # FILE KEY_IDENTIFIERS CA|LEAF
  {
    if [[ $3 == CA ]]; then
      echo "basicConstraints=critical,CA:TRUE"
      echo "keyUsage=critical,keyCertSign"
    else
      echo "basicConstraints=critical,CA:FALSE"
      echo "keyUsage=critical,digitalSignature"
      echo "extendedKeyUsage=codeSigning"
    fi
    if [[ $2 == with ]]; then
      echo "subjectKeyIdentifier=hash"
      echo "authorityKeyIdentifier=keyid:always"
    else
      echo "subjectKeyIdentifier=none"
      echo "authorityKeyIdentifier=none"
    fi
  } >"$1"
}
key() { [[ -f $1.key ]] || openssl ecparam -name prime256v1 -genkey -noout -out "$1.key"; }
# certificate NAME CN ISSUER SERIAL KEY_IDENTIFIERS CA|LEAF: NAME.pem for NAME's
# key, issued by ISSUER's key and certificate ("self": itself).
certificate() {
  local name=$1 cn=$2 issuer=$3 serial=$4 ids=$5 kind=$6
  key "$name"
  extensions "$name.ext" "$ids" "$kind"
  openssl req -new -key "$name.key" -subj "/CN=$cn" -out "$name.csr" 2>/dev/null
  if [[ $issuer == self ]]; then
    openssl x509 -req -in "$name.csr" -key "$name.key" -set_serial "$serial" -days 3 -sha256 \
      -extfile "$name.ext" -out "$name.pem" 2>/dev/null
  else
    openssl x509 -req -in "$name.csr" -CA "$issuer.pem" -CAkey "$issuer.key" -set_serial "$serial" -days 3 \
      -sha256 -extfile "$name.ext" -out "$name.pem" 2>/dev/null
  fi || fail "openssl could not make $name"
}
# sign EXE LEAF CERTIFICATES...: EXE signed by LEAF's key, carrying these
# certificates.
sign() {
  local exe=$1 leaf=$2
  shift 2
  cat "$@" >"${exe%.exe}-certs.pem"
  osslsigncode sign -certs "${exe%.exe}-certs.pem" -key "$leaf.key" -h sha256 -in program.exe -out "$exe" \
    >/dev/null 2>&1 || fail "osslsigncode could not sign $exe"
}
fingerprint() { openssl x509 -in "$1.pem" -noout -fingerprint -sha256 | sed 's/.*=//'; }
header="Certificate authorities of its chain in the signature (VANT_INSTALLER_SIGNER_CA), issuer first:"

# expect EXE STATUS EXPECTED_STDOUT [ERROR_WORDS]: the status, exactly that
# output, and an error line holding every |-separated word (none at 0).
expect() {
  local out status word
  out=$(bash "$script" "$1" 2>"$scratch/err")
  status=$?
  if [[ $status -ne $2 || $out != "$3" ]]; then
    fail "$1: expected status $2 and
$3
got status $status and
$out
$(cat "$scratch/err")"
  fi
  if [[ -z ${4-} ]]; then
    [[ ! -s $scratch/err ]] || fail "$1: unexpected error output: $(cat "$scratch/err")"
  else
    [[ $(wc -l <"$scratch/err") -eq 1 ]] || fail "$1: expected one error line: $(cat "$scratch/err")"
    IFS='|' read -ra words <<<"$4"
    for word in "${words[@]}"; do
      grep -qF -- "$word" "$scratch/err" || fail "$1: the error does not say '$word': $(cat "$scratch/err")"
    done
  fi
}

# ---- The same serial from two issuers ------------------------------------------
certificate root "Pins Root" self 1 with CA
certificate ca "Pins CA" root 4096 with CA
certificate leaf "Pins Vendor" ca 4096 with LEAF
for order in "ca leaf" "leaf ca"; do
  read -r first second <<<"$order"
  sign "same-serial-$first-first.exe" leaf "$first.pem" "$second.pem"
  expect "same-serial-$first-first.exe" 0 "Signer (VANT_INSTALLER_SIGNER): Pins Vendor
$header
  Pins CA
    SHA-256 $(fingerprint ca)
The chain goes on to \"Pins Root\", which the signature does not carry:
take its fingerprint from its own certificate (openssl x509 -noout -fingerprint -sha256 -in ROOT.crt)."
done

# ---- Two CAs of the issuer's name; the key identifiers pick the one ------------
# The decoy has the name "Pins CA" and a key of its own, under the root.
certificate decoy "Pins CA" root 77 with CA
for order in "decoy ca" "ca decoy"; do
  read -r first second <<<"$order"
  sign "decoy-$first-first.exe" leaf leaf.pem "$first.pem" "$second.pem" root.pem
  expect "decoy-$first-first.exe" 0 "Signer (VANT_INSTALLER_SIGNER): Pins Vendor
$header
  Pins CA
    SHA-256 $(fingerprint ca)
  Pins Root
    SHA-256 $(fingerprint root)
The chain ends in the last of these, a root."
done

# ---- Without key identifiers, by name ----------------------------------------------
certificate named-root "Named Root" self 2 without CA
certificate named-ca "Named CA" named-root 3 without CA
certificate named-leaf "Named Vendor" named-ca 4 without LEAF
sign named.exe named-leaf named-leaf.pem named-ca.pem named-root.pem
expect named.exe 0 "Signer (VANT_INSTALLER_SIGNER): Named Vendor
$header
  Named CA
    SHA-256 $(fingerprint named-ca)
  Named Root
    SHA-256 $(fingerprint named-root)
The chain ends in the last of these, a root."

# ---- Loops -------------------------------------------------------------------------
# By name: "Loop A" is issued by "Loop B", and "Loop B" by "Loop A".
certificate loop-b "Loop B" self 10 without CA
certificate loop-a "Loop A" loop-b 11 without CA
certificate loop-b "Loop B" loop-a 12 without CA
certificate loop-leaf "Loop Vendor" loop-a 13 without LEAF
sign name-loop.exe loop-leaf loop-leaf.pem loop-a.pem loop-b.pem
expect name-loop.exe 1 "Signer (VANT_INSTALLER_SIGNER): Loop Vendor
$header
  Loop A
    SHA-256 $(fingerprint loop-a)
  Loop B
    SHA-256 $(fingerprint loop-b)" "name-loop.exe|loops|Loop B|Loop A|already in it"
# By key identifiers, under names that do not loop.
certificate key-b "Key B" self 20 with CA
certificate key-a "Key A" key-b 21 with CA
certificate key-b "Key B" key-a 22 with CA
certificate key-leaf "Key Vendor" key-a 23 with LEAF
sign key-loop.exe key-leaf key-leaf.pem key-a.pem key-b.pem
expect key-loop.exe 1 "Signer (VANT_INSTALLER_SIGNER): Key Vendor
$header
  Key A
    SHA-256 $(fingerprint key-a)
  Key B
    SHA-256 $(fingerprint key-b)" "key-loop.exe|loops|already in it"

# ---- A chain of 12 CAs: it stops after 10 ------------------------------------------
certificate deep-12 "Deep 12" self 100 with CA
for level in 11 10 9 8 7 6 5 4 3 2 1; do
  certificate "deep-$level" "Deep $level" "deep-$((level + 1))" $((100 + level)) with CA
done
certificate deep-leaf "Deep Vendor" deep-1 200 with LEAF
sign deep.exe deep-leaf deep-leaf.pem deep-{1,2,3,4,5,6,7,8,9,10,11,12}.pem
expected="Signer (VANT_INSTALLER_SIGNER): Deep Vendor
$header"
for level in 1 2 3 4 5 6 7 8 9 10; do
  expected+="
  Deep $level
    SHA-256 $(fingerprint "deep-$level")"
done
expect deep.exe 1 "$expected" "deep.exe|longer than 10|Deep 10"

report_cases signer-pins.sh chains
