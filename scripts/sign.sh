#!/usr/bin/env bash
# Signs Windows exes in place with Authenticode (SHA-256) through
# osslsigncode, with the vendor's code-signing certificate:
#
#   VANT_SIGN_CERT=cert.pem VANT_SIGN_KEY=key.pem scripts/sign.sh a.exe [b.exe...]
#
#   VANT_SIGN_CERT           the certificate (PEM or DER, with its chain), or
#                            a PKCS#12 file (.pfx/.p12) holding certificate
#                            and key, in which case VANT_SIGN_KEY stays unset
#   VANT_SIGN_KEY            the private key (PEM or DER)
#   VANT_SIGN_PASS           the key's (or the PKCS#12 file's) password, if any
#   VANT_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamping server; without one the
#                            signature stops verifying when the certificate
#                            expires
#
# None of these are ever committed. The password reaches osslsigncode through
# a private file, not its command line, where other users could read it.
set -euo pipefail

if (($# == 0)); then
  echo "usage: $0 EXE..." >&2
  exit 2
fi
: "${VANT_SIGN_CERT:?VANT_SIGN_CERT is not set}"

credentials=()
case ${VANT_SIGN_CERT,,} in
  *.pfx | *.p12)
    [[ -z ${VANT_SIGN_KEY:-} ]] || { echo "VANT_SIGN_KEY is not used with a PKCS#12 file" >&2; exit 2; }
    credentials=(-pkcs12 "$VANT_SIGN_CERT")
    ;;
  *)
    : "${VANT_SIGN_KEY:?VANT_SIGN_KEY is not set}"
    credentials=(-certs "$VANT_SIGN_CERT" -key "$VANT_SIGN_KEY")
    ;;
esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [[ -n ${VANT_SIGN_PASS:-} ]]; then
  (umask 077 && printf '%s' "$VANT_SIGN_PASS" >"$work/pass")
  credentials+=(-readpass "$work/pass")
fi
timestamp=()
if [[ -n ${VANT_SIGN_TIMESTAMP_URL:-} ]]; then
  timestamp=(-ts "$VANT_SIGN_TIMESTAMP_URL")
fi

for exe in "$@"; do
  rm -f "$work/signed.exe"  # osslsigncode never overwrites its output
  osslsigncode sign "${credentials[@]}" -h sha256 -n "VANT 进销存 安装程序" "${timestamp[@]}" \
    -in "$exe" -out "$work/signed.exe" >"$work/log" 2>&1 || { cat "$work/log" >&2; exit 1; }
  # Keep the file's identity (mode, hard links) and replace its content.
  cat "$work/signed.exe" >"$exe"
  echo "signed: $exe"
done
