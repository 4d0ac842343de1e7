#!/usr/bin/env bash
# Checks that the signed exes in a release folder are this release's own
# bytes, signed by this release's own certificate:
#   scripts/release-binding.sh DIST_DIR
# For vant-setup-x64.exe and vant-setup-x86.exe in DIST_DIR:
# - its machine type is the one its name says (x64: 0x8664, x86: 0x14c), so
#   the x86 exe copied over the x64 name is refused;
# - the Authenticode digest its signature carries is the one DIST_DIR/BUILDINFO
#   recorded for the unsigned build, so another build's exes (another host,
#   another signer setting) are refused;
# - its signing certificate, the one the signature's signer info names by
#   issuer and serial number, is the certificate VANT_SIGN_CERT holds: a
#   certificate file (PEM or DER, with its chain: the certificate that is not
#   a CA's), a PKCS#12 file (password in VANT_SIGN_PASS), or a pkcs11: URI
#   (read from the token with p11tool, through VANT_SIGN_PKCS11_MODULE when
#   set), so an exe signed with a test certificate or a colleague's is
#   refused even when its signature verifies.
# scripts/verify-signatures.sh checks the signatures themselves (they verify,
# have a timestamp, one signer for both); this checks what they are of.
# Exits 0 with nothing printed, or prints one line "finish refused: ..." on
# stderr, naming the file and what differs, and exits 1.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=authenticode.sh
source "$here/authenticode.sh"

refuse() {
  echo "finish refused: $*" >&2
  exit 1
}

if (($# != 1)); then
  echo "usage: $0 DIST_DIR" >&2
  exit 2
fi
dist=$1
buildinfo=$dist/BUILDINFO

[[ -n ${VANT_SIGN_CERT:-} ]] ||
  refuse "VANT_SIGN_CERT is not set; set it to the release's signing certificate (its file, or its pkcs11: URI in the token), so that exes signed with another certificate are refused"
[[ -f $buildinfo ]] ||
  refuse "$buildinfo is missing; it records the build the exes must be, so build the release with scripts/dist.sh, then sign its exes"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The release's certificate: the files expected-N.der, the certificates of
# VANT_SIGN_CERT that are not a CA's (all of them if each is).
release_certificates() {
  local pem=$work/release.pem
  case $VANT_SIGN_CERT in
    pkcs11:*)
      command -v p11tool >/dev/null ||
        refuse "p11tool is needed to read VANT_SIGN_CERT '$VANT_SIGN_CERT' from the token (scripts/setup.sh --release --pkcs11 installs it)"
      local provider=()
      [[ -n ${VANT_SIGN_PKCS11_MODULE:-} ]] && provider=(--provider "$VANT_SIGN_PKCS11_MODULE")
      p11tool "${provider[@]}" --export "$VANT_SIGN_CERT" >"$pem" 2>"$work/p11tool.log" </dev/null ||
        refuse "VANT_SIGN_CERT '$VANT_SIGN_CERT' could not be read from the token: $(head -n 1 "$work/p11tool.log")"
      ;;
    *)
      [[ -f $VANT_SIGN_CERT ]] || refuse "VANT_SIGN_CERT '$VANT_SIGN_CERT' is neither a file nor a pkcs11: URI"
      case ${VANT_SIGN_CERT,,} in
        *.pfx | *.p12)
          VANT_SIGN_PASS=${VANT_SIGN_PASS-} openssl pkcs12 -in "$VANT_SIGN_CERT" -nokeys -passin env:VANT_SIGN_PASS \
            -out "$pem" 2>/dev/null </dev/null ||
            refuse "VANT_SIGN_CERT '$VANT_SIGN_CERT' could not be read (a PKCS#12 file: is VANT_SIGN_PASS its password?)"
          ;;
        *)
          if grep -q -- '-----BEGIN CERTIFICATE-----' "$VANT_SIGN_CERT"; then
            cp "$VANT_SIGN_CERT" "$pem"
          else
            openssl x509 -inform DER -in "$VANT_SIGN_CERT" -out "$pem" 2>/dev/null ||
              refuse "VANT_SIGN_CERT '$VANT_SIGN_CERT' holds no certificate (PEM or DER)"
          fi
          ;;
      esac
      ;;
  esac
  awk -v dir="$work" '/-----BEGIN CERTIFICATE-----/ { n++; inside = 1 } inside { print > (dir "/release-" n ".pem") }
    /-----END CERTIFICATE-----/ { inside = 0; close(dir "/release-" n ".pem") }' "$pem"
  local certificate count=0
  for certificate in "$work"/release-*.pem; do
    [[ -e $certificate ]] || break
    if ! openssl x509 -in "$certificate" -noout -ext basicConstraints 2>/dev/null | grep -q 'CA:TRUE'; then
      openssl x509 -in "$certificate" -outform DER -out "$work/expected-$((count += 1)).der"
    fi
  done
  if ((count == 0)); then
    for certificate in "$work"/release-*.pem; do
      [[ -e $certificate ]] || break
      openssl x509 -in "$certificate" -outform DER -out "$work/expected-$((count += 1)).der"
    done
  fi
  ((count > 0)) || refuse "VANT_SIGN_CERT '$VANT_SIGN_CERT' holds no certificate"
}
release_certificates

# describe CERTIFICATE.der: its subject, issuer and serial, one line.
x509_field() { openssl x509 -inform DER -in "$1" -noout "-$2" -nameopt RFC2253,utf8,-esc_msb | sed "s/^$2=//"; }
describe() {
  printf 'subject "%s", issuer "%s", serial %s' "$(x509_field "$1" subject)" "$(x509_field "$1" issuer)" \
    "$(x509_field "$1" serial)"
}

declare -A machine_of=([x64]=0x8664 [x86]=0x14c)
declare -A other_arch=([x64]=x86 [x86]=x64)
for arch in x64 x86; do
  name=vant-setup-$arch.exe
  exe=$dist/$name
  [[ -f $exe ]] || refuse "$exe is missing"
  recorded_machine=$(sed -n "s/^$name machine: \(0x[0-9a-f]*\).*/\1/p" "$buildinfo" | tail -n 1)
  recorded_digest=$(sed -n "s/^$name authenticode sha256: \([0-9A-F]*\)$/\1/p" "$buildinfo" | tail -n 1)
  [[ -n $recorded_machine && -n $recorded_digest ]] ||
    refuse "$buildinfo records no machine type and Authenticode digest for $name; it was written by an older dist.sh: build the release again"

  pe_identity "$exe" || refuse "$exe $pe_error"
  if [[ $pe_machine != "${machine_of[$arch]}" ]]; then
    if [[ $pe_machine == "${machine_of[${other_arch[$arch]}]}" ]]; then
      refuse "$exe is the ${other_arch[$arch]} program (machine type $pe_machine), not the $arch one (${machine_of[$arch]}); put each signed exe under its own name"
    fi
    refuse "$exe has machine type $pe_machine, not $arch's ${machine_of[$arch]}"
  fi

  rm -f "$work/signature.der"
  osslsigncode extract-signature -in "$exe" -out "$work/signature.der" >/dev/null 2>&1 ||
    refuse "$exe has no Authenticode signature; sign it, then run this again"
  # The digest the signature carries (whether its chain verifies here is
  # verify-signatures.sh's question).
  osslsigncode verify -in "$exe" >"$work/verify.log" 2>&1 || true
  signed_digest=$(sed -n 's/^Current message digest *: *\([0-9A-Fa-f]*\).*/\1/p' "$work/verify.log" | head -n 1)
  signed_digest=${signed_digest^^}
  [[ -n $signed_digest ]] || refuse "osslsigncode reads no message digest in the signature of $exe"
  if [[ $signed_digest != "$recorded_digest" ]]; then
    refuse "$exe is not the build $buildinfo records: its signature carries the Authenticode digest $signed_digest, the build's is $recorded_digest (the exes of another build, or bytes changed before signing); sign the exes this dist.sh built"
  fi

  rm -rf "$work/certificates"
  mkdir "$work/certificates"
  signature_certificates "$work/signature.der" "$work/certificates" || refuse "$exe: $pe_error"
  signer_fingerprint=$(sha256sum <"$signer_certificate" | cut -d' ' -f1)
  matched=0
  for expected in "$work"/expected-*.der; do
    [[ $(sha256sum <"$expected" | cut -d' ' -f1) == "$signer_fingerprint" ]] && matched=1
  done
  if ((!matched)); then
    refuse "$exe is signed by another certificate than VANT_SIGN_CERT's: it has $(describe "$signer_certificate"); VANT_SIGN_CERT holds $(describe "$work/expected-1.der"); sign it with the release's certificate"
  fi
done
