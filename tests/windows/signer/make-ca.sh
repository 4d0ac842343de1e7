#!/usr/bin/env bash
# The signer tests' certificate authorities, made once per build folder when
# CMake configures it: the signer exes are built with their SHA-256
# fingerprints (VANT_INSTALLER_SIGNER_CA), so they exist before the exes
# are compiled. The leaves and the signed installers are made afresh on
# every test run (make-pki.sh).
#
#   make-ca.sh CA_DIR
#
# Certificates (RSA 2048, SHA-256, ten years from yesterday), each as
# NAME.pem, NAME.key, NAME.der and NAME.sha256 (its fingerprint as
# `openssl x509 -fingerprint -sha256` prints it: 32 pairs, ':' between):
#   root            "VANT Test Root": the vendor's root, which the tests trust
#   intermediate    "VANT Test Code Signing CA", issued by root
#   other-root      "VANT Other Trusted Root": a root the tests trust too,
#                   which the vendor does not use (as an enterprise's own
#                   root, or a debugging proxy's)
#   untrusted-root  "VANT Untrusted Root", never trusted
# Also ca.cnf, the openssl settings make-pki.sh issues with. Nothing here is
# secret. A CA_DIR that this version of the script completed is kept as it
# is (`complete` holds the script's SHA-256).
set -euo pipefail
dir=$1
version=$(sha256sum "$0" | cut -d' ' -f1)
[[ -f $dir/complete && $(cat "$dir/complete") == "$version" ]] && exit 0

rm -rf "$dir"
mkdir -p "$dir/ca"
cd "$dir"

cat >ca.cnf <<'CNF'
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
CNF
: >ca/index.txt
openssl rand -hex 8 >ca/serial

from=$(date -u -d '-1 day' +%Y%m%d%H%M%SZ)
until=$(date -u -d '+10 years' +%Y%m%d%H%M%SZ)

# NAME CN: a self-signed CA certificate.
self_signed() {
  openssl genrsa -out "$1.key" 2048 2>/dev/null
  openssl req -config ca.cnf -new -x509 -utf8 -key "$1.key" -subj "/CN=$2" -sha256 \
    -set_serial "0x$(openssl rand -hex 8)" -days 3650 -extensions root -out "$1.pem" 2>/dev/null
}
self_signed root "VANT Test Root"
self_signed other-root "VANT Other Trusted Root"
self_signed untrusted-root "VANT Untrusted Root"
openssl genrsa -out intermediate.key 2048 2>/dev/null
openssl req -config ca.cnf -new -utf8 -key intermediate.key -subj "/CN=VANT Test Code Signing CA" \
  -out intermediate.csr 2>/dev/null
openssl ca -config ca.cnf -batch -notext -utf8 -cert root.pem -keyfile root.key -extensions intermediate \
  -startdate "$from" -enddate "$until" -in intermediate.csr -out intermediate.pem 2>/dev/null

for name in root intermediate other-root untrusted-root; do
  openssl x509 -in "$name.pem" -outform DER -out "$name.der"
  openssl x509 -in "$name.pem" -noout -fingerprint -sha256 | sed 's/^.*=//' >"$name.sha256"
done
echo "$version" >complete
echo "test certificate authorities in $dir"
