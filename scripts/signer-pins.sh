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
# Reads the file only; needs osslsigncode and openssl (scripts/setup.sh
# installs both). Exits 1 when the file has no Authenticode signature.
set -euo pipefail

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

# Every certificate of the signature, one file each.
openssl pkcs7 -inform DER -in "$work/signature.der" -print_certs |
  awk -v dir="$work" '/-----BEGIN CERTIFICATE-----/ { n++ } n { print > (dir "/certificate-" n ".pem") }'

# A decimal number of any length in upper-case hex, as openssl writes
# serials: 255 -> FF.
decimal_to_hex() {
  awk -v number="$1" 'BEGIN {
    digits = "0123456789ABCDEF"; hex = ""
    while (number != "" && number != "0") {
      quotient = ""; remainder = 0
      for (i = 1; i <= length(number); i++) {
        remainder = remainder * 10 + substr(number, i, 1)
        digit = int(remainder / 16); remainder = remainder % 16
        if (quotient != "" || digit > 0) quotient = quotient digit
      }
      hex = substr(digits, remainder + 1, 1) hex
      number = quotient
    }
    print (hex == "" ? "0" : hex)
  }'
}
# A serial without leading zeros: 00AB -> AB.
plain_serial() {
  local serial=${1^^}
  serial=${serial##+(0)}
  echo "${serial:-0}"
}
shopt -s extglob

# The signer is the certificate whose serial the first signer info names
# (openssl prints serials under 128 bits in decimal, larger ones as 0x...).
signer_serial=$(openssl pkcs7 -inform DER -in "$work/signature.der" -print -noout |
  awk '/signer_info:/ { found = 1 } found && $1 == "serial:" { print $2; exit }')
if [[ $signer_serial == 0x* ]]; then
  signer_serial=${signer_serial#0x}
else
  signer_serial=$(decimal_to_hex "$signer_serial")
fi
signer_serial=$(plain_serial "$signer_serial")

subject_of() { openssl x509 -in "$1" -noout -subject -nameopt RFC2253 | sed 's/^subject=//'; }
issuer_of() { openssl x509 -in "$1" -noout -issuer -nameopt RFC2253 | sed 's/^issuer=//'; }
serial_of() { plain_serial "$(openssl x509 -in "$1" -noout -serial | sed 's/^serial=//')"; }
fingerprint_of() { openssl x509 -in "$1" -noout -fingerprint -sha256 | sed 's/^.*=//'; }
# The simple display name, from one attribute per line (UTF-8, unescaped).
simple_name_of() {
  openssl x509 -in "$1" -noout -subject -nameopt sep_multiline,utf8,-esc_msb,sname |
    awk '{ sub(/^ +/, "") }
      /^subject=/ { next }
      first == "" { first = substr($0, index($0, "=") + 1) }
      /^CN=/ && cn == "" { cn = substr($0, 4) }
      /^OU=/ && ou == "" { ou = substr($0, 4) }
      /^O=/ && o == "" { o = substr($0, 3) }
      /^emailAddress=/ && email == "" { email = substr($0, 14) }
      END { print (cn != "" ? cn : ou != "" ? ou : o != "" ? o : email != "" ? email : first) }'
}
# The simple display name of a distinguished name in RFC 2253 form, for a
# certificate the signature does not carry (its common name, else all).
simple_name_of_dn() {
  local cn
  cn=$(sed -n 's/^\(.*,\)\{0,1\}CN=\([^,]*\).*$/\2/p' <<<"$1")
  echo "${cn:-$1}"
}

signer=""
for certificate in "$work"/certificate-*.pem; do
  [[ -e $certificate ]] || break
  if [[ $(serial_of "$certificate") == "$signer_serial" ]]; then
    signer=$certificate
    break
  fi
done
if [[ -z $signer ]]; then
  echo "$installer: the signature does not carry its signer's certificate" >&2
  exit 1
fi

echo "Signer (VANT_INSTALLER_SIGNER): $(simple_name_of "$signer")"
echo "Certificate authorities of its chain in the signature (VANT_INSTALLER_SIGNER_CA), issuer first:"
current=$signer
carried=0
while [[ $(subject_of "$current") != "$(issuer_of "$current")" ]]; do
  issuer_dn=$(issuer_of "$current")
  next=""
  for certificate in "$work"/certificate-*.pem; do
    if [[ $certificate != "$current" && $(subject_of "$certificate") == "$issuer_dn" ]]; then
      next=$certificate
      break
    fi
  done
  if [[ -z $next ]]; then
    ((carried > 0)) || echo "  (none)"
    echo "The chain goes on to \"$(simple_name_of_dn "$issuer_dn")\", which the signature does not carry:"
    echo "take its fingerprint from its own certificate (openssl x509 -noout -fingerprint -sha256 -in ROOT.crt)."
    exit 0
  fi
  echo "  $(simple_name_of "$next")"
  echo "    SHA-256 $(fingerprint_of "$next")"
  carried=$((carried + 1))
  current=$next
done
echo "The chain ends in the last of these, a root."
