#!/usr/bin/env bash
# Signs Windows exes in place with Authenticode (SHA-256) through
# osslsigncode, with the vendor's code-signing certificate:
#
#   VANT_SIGN_CERT=cert.pem VANT_SIGN_KEY=key.pem VANT_SIGN_TIMESTAMP_URL=... scripts/sign.sh a.exe [b.exe...]
#   scripts/sign.sh --check     # only checks the variables below, signs nothing
#
# The key is in a hardware token or an HSM (PKCS#11), or in a file:
#
#   VANT_SIGN_PKCS11_MODULE  the token's PKCS#11 module (a .so from its
#                            vendor; SoftHSM2's is /usr/lib/softhsm/libsofthsm2.so).
#                            With it:
#     VANT_SIGN_KEY          the key's pkcs11: URI, for example
#                            pkcs11:token=VANT;object=codesign;type=private
#     VANT_SIGN_CERT         the certificate file (PEM or DER, with its
#                            chain), or its pkcs11: URI in the token
#     VANT_SIGN_PASS         the token's PIN (without it the token asks, or
#                            its own PIN pad does)
#   Without it:
#     VANT_SIGN_CERT         the certificate (PEM or DER, with its chain), or
#                            a PKCS#12 file (.pfx/.p12) holding certificate
#                            and key, in which case VANT_SIGN_KEY stays unset
#     VANT_SIGN_KEY          the private key (PEM or DER)
#     VANT_SIGN_PASS         the key's (or the PKCS#12 file's) password, if any
#
#   VANT_SIGN_TIMESTAMP_URL  the CA's RFC 3161 time-stamping server: required,
#                            see below
#   VANT_SIGN_NO_TIMESTAMP   1 to sign without a timestamp all the same
#
# Publicly trusted code-signing keys have lived only in tokens and HSMs
# since June 2023 (the CA/Browser Forum's rule), so a certificate bought
# today needs the PKCS#11 route; the file route serves older certificates
# and tests.
#
# Without a timestamp a signature stops verifying when the certificate
# expires, and Windows then names no publisher; so signing without
# VANT_SIGN_TIMESTAMP_URL is refused unless VANT_SIGN_NO_TIMESTAMP=1.
#
# None of these are ever committed. The password or PIN reaches osslsigncode
# through a private file, not its command line, where other users could read
# it (so keep it out of the URI's pin-value, too).
set -euo pipefail

refuse() {
  echo "signing refused: $*" >&2
  exit 1
}

# Checks the variables; sets route (pkcs11, pkcs12 or files) and
# credentials (osslsigncode's arguments), or refuses with one line.
check_variables() {
  [[ -n ${VANT_SIGN_CERT:-} ]] || refuse "VANT_SIGN_CERT is not set (the certificate, or a .pfx/.p12 file)"
  if [[ -n ${VANT_SIGN_PKCS11_MODULE:-} ]]; then
    route=pkcs11
    [[ -f $VANT_SIGN_PKCS11_MODULE ]] ||
      refuse "VANT_SIGN_PKCS11_MODULE '$VANT_SIGN_PKCS11_MODULE' is not a file (the token's PKCS#11 module)"
    [[ ${VANT_SIGN_KEY:-} == pkcs11:* ]] ||
      refuse "with VANT_SIGN_PKCS11_MODULE, VANT_SIGN_KEY must be the key's pkcs11: URI (pkcs11:token=...;object=...;type=private)"
    credentials=(-pkcs11module "$VANT_SIGN_PKCS11_MODULE" -key "$VANT_SIGN_KEY")
    if [[ $VANT_SIGN_CERT == pkcs11:* ]]; then
      credentials+=(-pkcs11cert "$VANT_SIGN_CERT")
    else
      [[ -f $VANT_SIGN_CERT ]] || refuse "VANT_SIGN_CERT '$VANT_SIGN_CERT' is neither a file nor a pkcs11: URI"
      credentials+=(-certs "$VANT_SIGN_CERT")
    fi
  else
    [[ -f $VANT_SIGN_CERT ]] || refuse "VANT_SIGN_CERT '$VANT_SIGN_CERT' is not a file"
    case ${VANT_SIGN_CERT,,} in
      *.pfx | *.p12)
        route=pkcs12
        [[ -z ${VANT_SIGN_KEY:-} ]] || refuse "VANT_SIGN_KEY is not used with a PKCS#12 file"
        credentials=(-pkcs12 "$VANT_SIGN_CERT")
        ;;
      *)
        route=files
        [[ -n ${VANT_SIGN_KEY:-} ]] || refuse "VANT_SIGN_KEY is not set (the private key)"
        [[ $VANT_SIGN_KEY != pkcs11:* ]] ||
          refuse "VANT_SIGN_KEY is a pkcs11: URI; name the token's module in VANT_SIGN_PKCS11_MODULE"
        [[ -f $VANT_SIGN_KEY ]] || refuse "VANT_SIGN_KEY '$VANT_SIGN_KEY' is not a file"
        credentials=(-certs "$VANT_SIGN_CERT" -key "$VANT_SIGN_KEY")
        ;;
    esac
  fi
  if [[ -z ${VANT_SIGN_TIMESTAMP_URL:-} && ${VANT_SIGN_NO_TIMESTAMP:-} != 1 ]]; then
    refuse "no VANT_SIGN_TIMESTAMP_URL; a signature without a timestamp stops verifying when the certificate expires, and Windows then shows an unknown publisher; set it to your CA's RFC 3161 time-stamping server, or VANT_SIGN_NO_TIMESTAMP=1 to sign without one"
  fi
}

if [[ ${1-} == --check ]]; then
  (($# == 1)) || { echo "usage: $0 --check" >&2; exit 2; }
  check_variables
  exit 0
fi
if (($# == 0)); then
  echo "usage: $0 EXE..." >&2
  exit 2
fi
check_variables

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [[ -n ${VANT_SIGN_PASS:-} ]]; then
  (umask 077 && printf '%s' "$VANT_SIGN_PASS" >"$work/pass")
  credentials+=(-readpass "$work/pass")
fi
# osslsigncode reads it from the file; nothing started from here gets it.
unset VANT_SIGN_PASS
timestamp=()
if [[ -n ${VANT_SIGN_TIMESTAMP_URL:-} ]]; then
  timestamp=(-ts "$VANT_SIGN_TIMESTAMP_URL")
else
  echo "warning: signing without a timestamp (VANT_SIGN_NO_TIMESTAMP=1): the signatures stop verifying when the certificate expires" >&2
fi
# A token without the PIN in VANT_SIGN_PASS asks for it on the terminal:
# then osslsigncode's output is not captured, so that the question shows.
ask=0
[[ $route == pkcs11 && -z ${VANT_SIGN_PASS:-} ]] && ask=1

for exe in "$@"; do
  rm -f "$work/signed.exe" # osslsigncode never overwrites its output
  command=(osslsigncode sign "${credentials[@]}" -h sha256 -n "VANT 进销存 安装程序" "${timestamp[@]}"
    -in "$exe" -out "$work/signed.exe")
  if ((ask)); then
    "${command[@]}" || exit 1
  else
    "${command[@]}" >"$work/log" 2>&1 || { cat "$work/log" >&2; exit 1; }
  fi
  # Keep the file's identity (mode, hard links) and replace its content.
  cat "$work/signed.exe" >"$exe"
  echo "signed ($route): $exe"
done
