#!/usr/bin/env bash
# The signer tests' leaves, made afresh on every test run under the
# certificate authorities of make-ca.sh (made when CMake configured the
# build folder), and the installer's stand-in signed and spoiled every way
# the signer tests need:
#
#   make-pki.sh OUT_DIR CA_DIR INSTALLER_EXE OBJDUMP CHINESE_NAME ASCII_NAME
#
# Certificates (RSA 2048, SHA-256):
#   cn, ascii       code-signing leaves named CHINESE_NAME and ASCII_NAME,
#                   issued by CA_DIR's intermediate (under its root)
#   other           a code-signing leaf of another vendor, "Other Vendor Ltd"
#   expired         CHINESE_NAME, valid from 30 days ago until yesterday
#   no-usage        CHINESE_NAME, for server authentication only
#   untrusted       CHINESE_NAME, under "VANT Untrusted Root", never trusted
#   other-root      CHINESE_NAME, issued by "VANT Other Trusted Root", a root
#                   the tests trust but the vendor does not use
#   anyone-tsa      "Anyone's Time Stamping", self-signed, for time stamping:
#                   a time-stamping authority that anyone can make
#   revoked         CHINESE_NAME, whose CRL (intermediate.crl, read through a
#                   file:// address) lists it as revoked
#   revoked-ca      "VANT Test Revoked CA", issued by root, whose CRL
#                   (root.crl, file://) lists it as revoked; and
#   under-revoked-ca  CHINESE_NAME, issued by it
#   unreachable     CHINESE_NAME, whose CRL address is a local port where
#                   nothing listens (http://127.0.0.1:1/): revocation offline
# Valid certificates run from yesterday for ten years: Wine judges time
# validity at the signed file's modification time, which is now.
#
# Files in OUT_DIR/signed (each a copy of INSTALLER_EXE):
#   cn.exe ascii.exe other.exe expired.exe no-usage.exe
#                      signed by that leaf, with the intermediate
#   untrusted.exe        signed by untrusted, with its root
#   other-root.exe       signed by other-root, with its root: the vendor's
#                        name under a root that this PC trusts
#   revoked.exe unreachable.exe
#                        signed by that leaf, with the intermediate
#   revoked-ca.exe       signed by under-revoked-ca, with revoked-ca
#   no-intermediate.exe  signed by cn without the intermediate
#   unsigned.exe         not signed
#   code-changed.exe     cn.exe with one byte of the code changed
#   header-changed.exe   cn.exe with one byte of the DOS stub changed
#   appended.exe         cn.exe with bytes appended after the signature
#   expired-stamped.exe  expired.exe with an RFC 3161 timestamp of anyone-tsa
#                        added afterwards, stating a time inside the leaf's
#                        validity (a counter-signature sits outside the
#                        signed data: adding one needs no key of the signer)
# Nothing here is secret and nothing is kept: OUT_DIR is emptied first.
set -euo pipefail
out=$1 ca_dir=$(realpath "$2") installer=$(realpath "$3") objdump=$4 cn_name=$5 ascii_name=$6

if [[ ! -f $ca_dir/complete ]]; then
  echo "no test certificate authorities in $ca_dir: configure the build folder again (make-ca.sh)" >&2
  exit 1
fi
rm -rf "$out"
mkdir -p "$out/ca" "$out/signed"
cd "$out"
cp "$ca_dir"/{root,intermediate,other-root,untrusted-root}.{pem,key} .
cp "$ca_dir/ca.cnf" .

day() { date -u -d "$1" +%Y%m%d%H%M%SZ; }
valid_from=$(day '-1 day')
valid_until=$(day '+10 years')

: >ca/index.txt
# Serials never repeat from run to run under the same issuer.
openssl rand -hex 8 >ca/serial

key() { openssl genrsa -out "$1.key" 2048 2>/dev/null; }

# A certificate issued by ISSUER: NAME CN ISSUER EXTENSIONS FROM UNTIL.
issue() {
  key "$1"
  openssl req -config ca.cnf -new -utf8 -key "$1.key" -subj "/CN=$2" -out "$1.csr" 2>/dev/null
  openssl ca -config ca.cnf -batch -notext -utf8 -cert "$3.pem" -keyfile "$3.key" -extensions "$4" \
    -startdate "$5" -enddate "$6" -in "$1.csr" -out "$1.pem" 2>/dev/null
}

issue cn "$cn_name" intermediate code_signing "$valid_from" "$valid_until"
issue ascii "$ascii_name" intermediate code_signing "$valid_from" "$valid_until"
issue other "Other Vendor Ltd" intermediate code_signing "$valid_from" "$valid_until"
issue expired "$cn_name" intermediate code_signing "$(day '-30 days')" "$(day '-1 day')"
issue no-usage "$cn_name" intermediate server_only "$valid_from" "$valid_until"
issue untrusted "$cn_name" untrusted-root code_signing "$valid_from" "$valid_until"
issue other-root-leaf "$cn_name" other-root code_signing "$valid_from" "$valid_until"

# Revocation: CRLs as files, read through file:// addresses (Wine fetches
# those; nothing leaves the machine), and an address where nothing listens.
url_path() { printf 'file:///Z:%s' "${1// /%20}"; }
cat >revocation.cnf <<EOF
[revocable]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
crlDistributionPoints = URI:$(url_path "$PWD/intermediate.crl")
[unreachable]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
crlDistributionPoints = URI:http://127.0.0.1:1/intermediate.crl
[revocable_ca]
basicConstraints = critical, CA:true, pathlen:0
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
crlDistributionPoints = URI:$(url_path "$PWD/root.crl")
EOF
# A certificate with extensions of revocation.cnf: NAME CN ISSUER SECTION.
issue_revocable() {
  key "$1"
  openssl req -config ca.cnf -new -utf8 -key "$1.key" -subj "/CN=$2" -out "$1.csr" 2>/dev/null
  openssl ca -config ca.cnf -batch -notext -utf8 -cert "$3.pem" -keyfile "$3.key" -extfile revocation.cnf \
    -extensions "$4" -startdate "$valid_from" -enddate "$valid_until" -in "$1.csr" -out "$1.pem" 2>/dev/null
}
issue_revocable revoked "$cn_name" intermediate revocable
issue_revocable unreachable "$cn_name" intermediate unreachable
issue_revocable revoked-ca "VANT Test Revoked CA" root revocable_ca
issue under-revoked-ca "$cn_name" revoked-ca code_signing "$valid_from" "$valid_until"
# ISSUER's CRL, listing REVOKED, into CRL (DER). openssl's database here
# holds every issuer's certificates, so each CRL comes from a database of
# its own holding just that revocation.
revoke() {
  local issuer=$1 revoked=$2 crl=$3
  mkdir -p "crl-$issuer/ca"
  : >"crl-$issuer/ca/index.txt"
  (cd "crl-$issuer" &&
    openssl ca -config ../ca.cnf -revoke "../$revoked.pem" -cert "../$issuer.pem" -keyfile "../$issuer.key" \
      2>/dev/null &&
    openssl ca -config ../ca.cnf -gencrl -crldays 3650 -cert "../$issuer.pem" -keyfile "../$issuer.key" \
      -out crl.pem 2>/dev/null)
  openssl crl -in "crl-$issuer/crl.pem" -outform DER -out "$crl"
}
revoke intermediate revoked intermediate.crl
revoke root revoked-ca root.crl

key anyone-tsa
openssl req -config ca.cnf -new -x509 -utf8 -key anyone-tsa.key -subj "/CN=Anyone's Time Stamping" -sha256 \
  -set_serial "0x$(openssl rand -hex 8)" -days 3650 -extensions time_stamping -out anyone-tsa.pem 2>/dev/null

# Authenticode SHA-256, as scripts/sign.sh signs the product: KEY CERTS OUT.
sign() {
  osslsigncode sign -certs "$2" -key "$1.key" -h sha256 -n "VANT test installer" \
    -in "$installer" -out "signed/$3" >/dev/null
}
for leaf in cn ascii other expired no-usage revoked unreachable; do
  cat "$leaf.pem" intermediate.pem >"$leaf-chain.pem"
  sign "$leaf" "$leaf-chain.pem" "$leaf.exe"
done
# The untrusted root travels in the signature, so the chain is whole and
# fails only on trust; so does the other trusted root (trusted: the chain
# fails only on the pin).
cat untrusted.pem untrusted-root.pem >untrusted-chain.pem
sign untrusted untrusted-chain.pem untrusted.exe
cat other-root-leaf.pem other-root.pem >other-root-chain.pem
sign other-root-leaf other-root-chain.pem other-root.exe
cat under-revoked-ca.pem revoked-ca.pem >under-revoked-ca-chain.pem
sign under-revoked-ca under-revoked-ca-chain.pem revoked-ca.exe
sign cn cn.pem no-intermediate.exe
cp "$installer" signed/unsigned.exe
osslsigncode add -TSA-certs anyone-tsa.pem -TSA-key anyone-tsa.key -TSA-time "$(date -u -d '-10 days' +%s)" \
  -in signed/expired.exe -out signed/expired-stamped.exe >/dev/null

# One byte changed: in the first byte of the code, and in the DOS stub's
# message; then bytes after the signature.
overwrite() { printf '\x5a' | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
code_offset=$((16#$("$objdump" -h signed/cn.exe | awk '$2 == ".text" {print $6}')))
cp signed/cn.exe signed/code-changed.exe
overwrite signed/code-changed.exe "$((code_offset + 16))"
cp signed/cn.exe signed/header-changed.exe
overwrite signed/header-changed.exe 80
cp signed/cn.exe signed/appended.exe
printf 'appended after the signature' >>signed/appended.exe

cmp -s signed/cn.exe signed/code-changed.exe && { echo "the code byte did not change" >&2; exit 1; }
cmp -s signed/cn.exe signed/header-changed.exe && { echo "the header byte did not change" >&2; exit 1; }
echo "test PKI and signed installers in $out"
