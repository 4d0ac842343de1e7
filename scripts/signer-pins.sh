#!/usr/bin/env bash
# Prints the two values a build with an installer signer needs, read from
# the vendor's own signed installer:
#
#   scripts/signer-pins.sh INSTALLER.exe
#
# - the signer's simple display name, what Windows compares with
#   VANT_INSTALLER_SIGNER (the subject's common name; without one its
#   organizational unit, organization or e-mail address, as Windows takes
#   it; Windows would look in the alternative names before taking the
#   subject's first attribute, which this does not);
# - the certificate authorities of the signer's chain that the signature
#   carries, issuer first, each with the SHA-256 fingerprint of the whole
#   certificate, what VANT_INSTALLER_SIGNER_CA takes (one or more of them);
#   and the root the chain ends in when the signature does not carry it
#   (usually: Windows has its roots), whose fingerprint is then in the
#   root's own certificate.
#
# The signer is the certificate the signature's signer info names by issuer
# and serial number (two certificates of different issuers may share a
# serial). The chain is built as the program's check builds it: from each
# certificate to the one whose subject key identifier is its authority key
# identifier, and by name (issuer to subject) only when a key identifier is
# missing. It stops, with a message and exit status 1, at a certificate it
# has already been through (a chain that loops) and after 10 certificates.
#
# Reads the file only; needs osslsigncode and openssl (scripts/setup.sh
# installs both). Exits 1 when the file has no Authenticode signature.
set -euo pipefail
# shellcheck source=authenticode.sh
source "$(dirname "$0")/authenticode.sh"

if [[ $# -ne 1 ]]; then
  echo "usage: $0 INSTALLER.exe" >&2
  exit 2
fi
installer=$1
for tool in osslsigncode openssl; do
  command -v "$tool" >/dev/null || { echo "$tool is needed (scripts/setup.sh installs it)" >&2; exit 2; }
done
[[ -f $installer ]] || { echo "$installer: no such file" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! osslsigncode extract-signature -in "$installer" -out "$work/signature.der" >"$work/extract.log" 2>&1; then
  echo "$installer carries no Authenticode signature" >&2
  exit 1
fi

signature_certificates "$work/signature.der" "$work" || {
  echo "$installer: $pe_error" >&2
  exit 1
}
# Each certificate as PEM, beside its DER form.
for certificate in "$work"/certificate-*.der; do
  openssl x509 -inform DER -in "$certificate" -out "${certificate%.der}.pem"
done
signer=${signer_certificate%.der}.pem

subject_of() { openssl x509 -in "$1" -noout -subject -nameopt RFC2253 | sed 's/^subject=//'; }
issuer_of() { openssl x509 -in "$1" -noout -issuer -nameopt RFC2253 | sed 's/^issuer=//'; }
fingerprint_of() { openssl x509 -in "$1" -noout -fingerprint -sha256 | sed 's/^.*=//'; }
# A key identifier extension's key identifier (upper-case hex with colons),
# or nothing: openssl 3 prints it alone on the line after the name, 1.1
# after "keyid:".
key_identifier_of() { # CERTIFICATE subjectKeyIdentifier|authorityKeyIdentifier
  openssl x509 -in "$1" -noout -ext "$2" 2>/dev/null |
    sed -n '2,$ { s/^ *\(keyid:\)\{0,1\}\([0-9A-Fa-f][0-9A-Fa-f]\(:[0-9A-Fa-f][0-9A-Fa-f]\)*\) *$/\2/p }' | head -n 1
}
# The simple display name of a certificate's subject (or, with "issuer",
# its issuer's), from one attribute per line (UTF-8, unescaped).
simple_name_of() { # CERTIFICATE [subject|issuer]
  openssl x509 -in "$1" -noout "-${2:-subject}" -nameopt sep_multiline,utf8,-esc_msb,sname |
    awk '{ sub(/^ +/, "") }
      /^(subject|issuer)=/ { next }
      first == "" { first = substr($0, index($0, "=") + 1) }
      /^CN=/ && cn == "" { cn = substr($0, 4) }
      /^OU=/ && ou == "" { ou = substr($0, 4) }
      /^O=/ && o == "" { o = substr($0, 3) }
      /^emailAddress=/ && email == "" { email = substr($0, 14) }
      END { print (cn != "" ? cn : ou != "" ? ou : o != "" ? o : email != "" ? email : first) }'
}

# Each certificate's names and key identifiers, read once.
declare -A subject issuer subject_key authority_key
for certificate in "$work"/certificate-*.pem; do
  subject[$certificate]=$(subject_of "$certificate")
  issuer[$certificate]=$(issuer_of "$certificate")
  subject_key[$certificate]=$(key_identifier_of "$certificate" subjectKeyIdentifier)
  authority_key[$certificate]=$(key_identifier_of "$certificate" authorityKeyIdentifier)
done

# issued_by CERTIFICATE CANDIDATE: whether CANDIDATE issued CERTIFICATE: its
# subject key identifier is CERTIFICATE's authority key identifier, or, when
# either is missing, its subject is CERTIFICATE's issuer.
issued_by() {
  local authority=${authority_key[$1]} candidate_key=${subject_key[$2]}
  if [[ -n $authority && -n $candidate_key ]]; then
    [[ ${authority^^} == "${candidate_key^^}" ]]
  else
    [[ ${subject[$2]} == "${issuer[$1]}" ]]
  fi
}

echo "Signer (VANT_INSTALLER_SIGNER): $(simple_name_of "$signer")"
echo "Certificate authorities of its chain in the signature (VANT_INSTALLER_SIGNER_CA), issuer first:"
current=$signer
declare -A seen=(["$signer"]=1)
carried=0
max_depth=10
# A root issued itself: by key identifiers when it has both, else by name.
while ! issued_by "$current" "$current"; do
  next=""
  for certificate in "$work"/certificate-*.pem; do
    if [[ $certificate != "$current" ]] && issued_by "$current" "$certificate"; then
      next=$certificate
      break
    fi
  done
  if [[ -z $next ]]; then
    ((carried > 0)) || echo "  (none)"
    echo "The chain goes on to \"$(simple_name_of "$current" issuer)\", which the signature does not carry:"
    echo "take its fingerprint from its own certificate (openssl x509 -noout -fingerprint -sha256 -in ROOT.crt)."
    exit 0
  fi
  if [[ -n ${seen[$next]-} ]]; then
    echo "$installer: the chain loops: \"$(simple_name_of "$current")\" is issued by \"$(simple_name_of "$next")\", which is already in it; stopping (a chain that loops has no root, and Windows does not trust it)" >&2
    exit 1
  fi
  if ((carried == max_depth)); then
    echo "$installer: the chain is longer than $max_depth certificate authorities; stopping after \"$(simple_name_of "$current")\" (Windows builds no chain that long from what a signature carries)" >&2
    exit 1
  fi
  seen[$next]=1
  echo "  $(simple_name_of "$next")"
  echo "    SHA-256 $(fingerprint_of "$next")"
  carried=$((carried + 1))
  current=$next
done
echo "The chain ends in the last of these, a root."
