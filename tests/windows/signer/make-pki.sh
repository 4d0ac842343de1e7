#!/usr/bin/env bash
# A throwaway PKI, made afresh on every test run, and the installer's
# stand-in signed and spoiled every way the signer tests need:
#
#   make-pki.sh OUT_DIR INSTALLER_EXE OBJDUMP CHINESE_NAME ASCII_NAME
#
# Certificates (RSA 2048, SHA-256):
#   root            "VANT Test Root": the one the tests trust (root.der)
#   intermediate    "VANT Test Code Signing CA", issued by root
#   cn, ascii       code-signing leaves named CHINESE_NAME and ASCII_NAME
#   other           a code-signing leaf of another vendor, "Other Vendor Ltd"
#   expired         CHINESE_NAME, valid from 30 days ago until yesterday
#   no-usage        CHINESE_NAME, for server authentication only
#   untrusted       CHINESE_NAME, under "VANT Untrusted Root", never trusted
#   anyone-tsa      "Anyone's Time Stamping", self-signed, for time stamping:
#                   a time-stamping authority that anyone can make
# Valid certificates run from yesterday for ten years: Wine judges time
# validity at the signed file's modification time, which is now.
#
# Files in OUT_DIR/signed (each a copy of INSTALLER_EXE):
#   cn.exe ascii.exe other.exe expired.exe no-usage.exe
#                      signed by that leaf, with the intermediate
#   untrusted.exe        signed by untrusted, with its root
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
out=$1 installer=$(realpath "$2") objdump=$3 cn_name=$4 ascii_name=$5

rm -rf "$out"
mkdir -p "$out/ca" "$out/signed"
cd "$out"

day() { date -u -d "$1" +%Y%m%d%H%M%SZ; }
valid_from=$(day '-1 day')
valid_until=$(day '+10 years')

cat >ca.cnf <<'EOF'
[ca]
default_ca = test_ca
[test_ca]
dir = ./ca
database = $dir/index.txt
new_certs_dir = $dir
serial = $dir/serial
default_md = sha256
policy = any_name
unique_subject = no
copy_extensions = none
[any_name]
commonName = supplied
[req]
distinguished_name = name
string_mask = utf8only
utf8 = yes
prompt = no
[name]
CN = unused
[root]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[intermediate]
basicConstraints = critical, CA:true, pathlen:0
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[code_signing]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[time_stamping]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, timeStamping
subjectKeyIdentifier = hash
[server_only]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
EOF
: >ca/index.txt
echo 1000 >ca/serial

key() { openssl genrsa -out "$1.key" 2048 2>/dev/null; }

# A self-signed CA certificate: NAME CN.
self_signed() {
  key "$1"
  openssl req -config ca.cnf -new -x509 -utf8 -key "$1.key" -subj "/CN=$2" -sha256 \
    -set_serial "0x$(openssl rand -hex 8)" -days 3650 -extensions root -out "$1.pem" 2>/dev/null
}

# A certificate issued by ISSUER: NAME CN ISSUER EXTENSIONS FROM UNTIL.
issue() {
  key "$1"
  openssl req -config ca.cnf -new -utf8 -key "$1.key" -subj "/CN=$2" -out "$1.csr" 2>/dev/null
  openssl ca -config ca.cnf -batch -notext -utf8 -cert "$3.pem" -keyfile "$3.key" -extensions "$4" \
    -startdate "$5" -enddate "$6" -in "$1.csr" -out "$1.pem" 2>/dev/null
}

self_signed root "VANT Test Root"
self_signed untrusted-root "VANT Untrusted Root"
issue intermediate "VANT Test Code Signing CA" root intermediate "$valid_from" "$valid_until"
issue cn "$cn_name" intermediate code_signing "$valid_from" "$valid_until"
issue ascii "$ascii_name" intermediate code_signing "$valid_from" "$valid_until"
issue other "Other Vendor Ltd" intermediate code_signing "$valid_from" "$valid_until"
issue expired "$cn_name" intermediate code_signing "$(day '-30 days')" "$(day '-1 day')"
issue no-usage "$cn_name" intermediate server_only "$valid_from" "$valid_until"
issue untrusted "$cn_name" untrusted-root code_signing "$valid_from" "$valid_until"
key anyone-tsa
openssl req -config ca.cnf -new -x509 -utf8 -key anyone-tsa.key -subj "/CN=Anyone's Time Stamping" -sha256 \
  -set_serial "0x$(openssl rand -hex 8)" -days 3650 -extensions time_stamping -out anyone-tsa.pem 2>/dev/null
openssl x509 -in root.pem -outform DER -out root.der

# Authenticode SHA-256, as scripts/sign.sh signs the product: KEY CERTS OUT.
sign() {
  osslsigncode sign -certs "$2" -key "$1.key" -h sha256 -n "VANT test installer" \
    -in "$installer" -out "signed/$3" >/dev/null
}
for leaf in cn ascii other expired no-usage; do
  cat "$leaf.pem" intermediate.pem >"$leaf-chain.pem"
  sign "$leaf" "$leaf-chain.pem" "$leaf.exe"
done
# The untrusted root travels in the signature, so the chain is whole and
# fails only on trust.
cat untrusted.pem untrusted-root.pem >untrusted-chain.pem
sign untrusted untrusted-chain.pem untrusted.exe
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
