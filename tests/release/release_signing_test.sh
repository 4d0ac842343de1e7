#!/usr/bin/env bash
# A release from a fresh clone, both ways it can be signed, with throwaway
# keys and no network:
# 1. Through a hardware token: a SoftHSM2 token that the test makes in its
#    scratch folder holds the signing key and certificate; dist.sh builds,
#    signs both exes through PKCS#11, verifies them and writes SHA256SUMS.
#    The signatures verify, SHA256SUMS matches the signed files, BUILDINFO
#    names the commit, the version is in the exes, and without their
#    signatures the exes are the bytes BUILDINFO records.
# 2. Elsewhere: dist.sh leaves the exes unsigned, writes SHA256SUMS for
#    them and says what to do next; they are signed outside dist.sh (as
#    signtool would), and --finish verifies them and rewrites SHA256SUMS,
#    refusing exes that are unsigned, signed by two certificates, changed
#    after signing, signed under an unknown root or without a timestamp
#    (unless waived), and leaving no SHA256SUMS then; and refusing exes that
#    are not this build's (the x86 exe under the x64 name, another build's
#    bytes) or are signed by another certificate than VANT_SIGN_CERT.
# 3. Both or neither: when the second exe fails to sign, or the signatures
#    do not verify, dist/ keeps the unsigned build and its SHA256SUMS.
#   release_signing_test.sh SOURCE_DIR
set -uo pipefail
root=$(cd "$1" && pwd)
# shellcheck source=../common/shell_cases.sh
source "$(dirname "${BASH_SOURCE[0]}")/../common/shell_cases.sh"

module=/usr/lib/softhsm/libsofthsm2.so
for tool in softhsm2-util p11tool osslsigncode openssl git; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (bash scripts/setup.sh installs it)"; exit 1; }
done
[[ -f $module ]] || { echo "FAIL: $module is missing (bash scripts/setup.sh installs softhsm2)"; exit 1; }

# ---- A throwaway PKI: a root, the vendor's signing certificate under it, an
# impostor's signing certificate with the same name under another root, and a
# time-stamping authority -----------------------------------------------------------
pki=$scratch/pki
mkdir -p "$pki"
make_root() { # NAME CN
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3 -utf8 -subj "/CN=$2" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" \
    -keyout "$pki/$1.key" -out "$pki/$1.pem" 2>/dev/null
}
make_leaf() { # NAME ROOT CN USAGE
  openssl req -newkey rsa:2048 -nodes -utf8 -subj "/CN=$3" -keyout "$pki/$1.key" -out "$pki/$1.csr" 2>/dev/null
  printf 'basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=critical,%s\n' \
    "$4" >"$pki/$1.ext"
  openssl x509 -req -sha256 -days 2 -in "$pki/$1.csr" -CA "$pki/$2.pem" -CAkey "$pki/$2.key" \
    -CAcreateserial -extfile "$pki/$1.ext" -out "$pki/$1.pem" 2>/dev/null
}
make_root root "VANT Test Root"
make_root other-root "Other Test Root"
make_leaf vendor root "VANT 软件有限公司" codeSigning
make_leaf impostor other-root "VANT 软件有限公司" codeSigning
make_leaf other-vendor root "VANT Other Signer" codeSigning
make_leaf tsa root "VANT Test TSA" timeStamping
# Each signature carries its chain up to (not including) the root.
cat "$pki/vendor.pem" >"$pki/vendor-chain.pem"
cat "$pki/root.pem" "$pki/other-root.pem" >"$pki/both-roots.pem"
for key in vendor impostor other-vendor; do
  openssl pkcs8 -topk8 -nocrypt -in "$pki/$key.key" -out "$pki/$key.p8"
done

# ---- The token: SoftHSM2 with its own configuration and token folder -------------
export SOFTHSM2_CONF=$scratch/softhsm2.conf
mkdir -p "$scratch/tokens"
printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$scratch/tokens" \
  >"$SOFTHSM2_CONF"
pin=271828
softhsm2-util --init-token --free --label "VANT release" --pin "$pin" --so-pin 314159 >/dev/null ||
  { echo "FAIL: softhsm2-util could not make a token"; exit 1; }
softhsm2-util --import "$pki/vendor.p8" --token "VANT release" --label codesign --id 01 --pin "$pin" >/dev/null ||
  { echo "FAIL: softhsm2-util could not import the key"; exit 1; }
GNUTLS_PIN=$pin p11tool --provider "$module" --login --write --load-certificate "$pki/vendor.pem" \
  --label codesign --id 01 "pkcs11:token=VANT%20release" >/dev/null 2>&1 ||
  { echo "FAIL: p11tool could not store the certificate in the token"; exit 1; }
key_uri="pkcs11:token=VANT%20release;object=codesign;type=private"
cert_uri="pkcs11:token=VANT%20release;object=codesign;type=cert"

# ---- A fresh clone: the source tree as a repository of its own ---------------------
clone=$scratch/clone
mkdir -p "$clone"
tar -C "$root" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$clone" -xf -
(cd "$clone" && git init -q && git add -A && git -c user.name=test -c user.email=test@vant.invalid \
  commit -qm "release under test") || { echo "FAIL: could not make the clone's repository"; exit 1; }
commit=$(git -C "$clone" rev-parse HEAD)

ca_fingerprint=$(openssl x509 -in "$pki/root.pem" -noout -fingerprint -sha256 | sed 's/.*=//')
release_args=(-DVANT_DOWNLOAD_HOST=dl.vant-soft.com -DVANT_VERSION=2.3.1.45
  "-DVANT_INSTALLER_SIGNER=VANT 软件有限公司" "-DVANT_INSTALLER_SIGNER_CA=$ca_fingerprint")
no_signing=(-u VANT_SIGN_CERT -u VANT_SIGN_KEY -u VANT_SIGN_PASS -u VANT_SIGN_PKCS11_MODULE
  -u VANT_SIGN_TIMESTAMP_URL -u VANT_SIGN_NO_TIMESTAMP -u VANT_SIGN_CAFILE)

# verifies EXE ROOTS: the signature verifies against ROOTS alone, and its
# signer is the vendor's certificate (by serial number: the impostor's has
# the same name).
vendor_serial=$(openssl x509 -in "$pki/vendor.pem" -noout -serial | sed 's/.*=//')
verifies() {
  if ! osslsigncode verify -CAfile "$2" -TSA-CAfile "$2" -in "$1" >"$scratch/verify.log" 2>&1; then
    fail "$1 does not verify: $(grep -iE 'error|failed|mismatch' "$scratch/verify.log" | head -3)"
  elif [[ $(grep -m 1 'Serial :' "$scratch/verify.log" | sed 's/.*: *//') != "$vendor_serial" ]]; then
    fail "$1 is not signed by the vendor's certificate: $(grep -m 1 'Serial :' "$scratch/verify.log")"
  fi
}
sums_match() { # WHAT
  if ! (cd "$clone/dist" && sha256sum --quiet -c SHA256SUMS) >"$scratch/sums.log" 2>&1; then
    fail "$1: SHA256SUMS does not match the files: $(cat "$scratch/sums.log")"
  fi
  if [[ $(awk '{print $2}' "$clone/dist/SHA256SUMS" | tr '\n' ' ') != "vant-setup-x64.exe vant-setup-x86.exe " ]]; then
    fail "$1: SHA256SUMS does not list exactly the two exes: $(cat "$clone/dist/SHA256SUMS")"
  fi
}

# ==== 1. Signed through the token ====================================================
echo "==> dist.sh, signing through the SoftHSM2 token"
(cd "$clone" && env "${no_signing[@]}" VANT_SIGN_PKCS11_MODULE="$module" VANT_SIGN_KEY="$key_uri" \
  VANT_SIGN_CERT="$cert_uri" VANT_SIGN_PASS="$pin" VANT_SIGN_NO_TIMESTAMP=1 VANT_SIGN_CAFILE="$pki/root.pem" \
  bash scripts/dist.sh "${release_args[@]}" >"$scratch/dist-token.log" 2>&1)
status=$?
if ((status != 0)); then
  cat "$scratch/dist-token.log"
  fail "dist.sh signing through the token failed with status $status"
else
  for arch in x64 x86; do
    verifies "$clone/dist/vant-setup-$arch.exe" "$pki/root.pem"
  done
  sums_match "signed through the token"
  buildinfo=$(cat "$clone/dist/BUILDINFO")
  grep -qx "source commit: $commit" <<<"$buildinfo" || fail "BUILDINFO does not name the commit $commit: $buildinfo"
  grep -qx "version: 2.3.1.45" <<<"$buildinfo" || fail "BUILDINFO does not name the version"
  for tool in "x64 compiler: x86_64-w64-mingw32-g++" "x86 compiler: i686-w64-mingw32-g++" "x64 linker: GNU ld" \
    "cmake: cmake version" "ninja: " "osslsigncode: osslsigncode" "build OS: " \
    "g++-mingw-w64-x86-64-posix " "binutils-mingw-w64-i686 " "VANT_INSTALLER_SIGNER_CA=$ca_fingerprint"; do
    grep -qF "$tool" <<<"$buildinfo" || fail "BUILDINFO lacks '$tool'"
  done
  grep -q "version 2.3.1.45" "$scratch/dist-token.log" || fail "dist.sh does not print the version"
  grep -qF 'Installer signer held by both exes: "VANT 软件有限公司"' "$scratch/dist-token.log" ||
    fail "dist.sh does not print the signer the exes hold: $(grep -i signer "$scratch/dist-token.log")"
  # BUILDINFO records, before signing, each exe's machine type and the
  # Authenticode digest its signature then carries.
  for arch_machine in x64:0x8664 x86:0x14c; do
    arch=${arch_machine%:*}
    grep -qx "vant-setup-$arch.exe machine: ${arch_machine#*:} ($arch)" <<<"$buildinfo" ||
      fail "BUILDINFO does not record vant-setup-$arch.exe's machine type ${arch_machine#*:}"
    recorded=$(sed -n "s/^vant-setup-$arch.exe authenticode sha256: //p" <<<"$buildinfo")
    osslsigncode verify -in "$clone/dist/vant-setup-$arch.exe" >"$scratch/verify.log" 2>&1
    carried=$(sed -n 's/^Current message digest *: *\([0-9A-F]*\).*/\1/p' "$scratch/verify.log")
    [[ ${#recorded} -eq 64 && $recorded == "$carried" ]] ||
      fail "vant-setup-$arch.exe: BUILDINFO records the Authenticode digest '$recorded', its signature carries '$carried'"
  done
  [[ -z $(find "$clone" -maxdepth 1 -name 'dist.signing.*') ]] || fail "dist.sh left its signing folder behind"
  # The version is in both exes' resources, as text and as numbers.
  windres=$(sed -n 's/^CMAKE_RC_COMPILER:FILEPATH=//p' "$clone/build/dist-x64/CMakeCache.txt")
  for arch in x64 x86; do
    resources=$("$windres" -i "$clone/dist/vant-setup-$arch.exe" -O rc 2>/dev/null)
    # windres writes " FILEVERSION 2, 3, 1, 45".
    grep -Eq "^ *FILEVERSION 2, *3, *1, *45\$" <<<"$resources" &&
      grep -Eq "^ *PRODUCTVERSION 2, *3, *1, *45\$" <<<"$resources" &&
      grep -qF '"FileVersion", "2.3.1.45"' <<<"$resources" && grep -qF '"ProductVersion", "2.3.1.45"' <<<"$resources" ||
      fail "vant-setup-$arch.exe does not carry version 2.3.1.45: $(grep -i version <<<"$resources")"
    # The signature is all that signing added: without it the exe is the
    # build that BUILDINFO records.
    rm -f "$scratch/unsigned.exe"
    osslsigncode remove-signature -in "$clone/dist/vant-setup-$arch.exe" -out "$scratch/unsigned.exe" >/dev/null 2>&1
    recorded=$(sed -n "s/^vant-setup-$arch.exe before signing: sha256 //p" <<<"$buildinfo")
    [[ -n $recorded && $(sha256sum <"$scratch/unsigned.exe" | cut -d' ' -f1) == "$recorded" ]] ||
      fail "vant-setup-$arch.exe without its signature is not the build BUILDINFO records"
  done
fi

# The token's key with the certificate as a file, signed by sign.sh alone.
cp "$clone/build/dist-x64/vant-setup.exe" "$scratch/cert-file.exe"
if env "${no_signing[@]}" VANT_SIGN_PKCS11_MODULE="$module" VANT_SIGN_KEY="$key_uri" \
  VANT_SIGN_CERT="$pki/vendor-chain.pem" VANT_SIGN_PASS="$pin" VANT_SIGN_NO_TIMESTAMP=1 \
  bash "$clone/scripts/sign.sh" "$scratch/cert-file.exe" >"$scratch/sign.log" 2>&1; then
  verifies "$scratch/cert-file.exe" "$pki/root.pem"
else
  fail "sign.sh with the token's key and a certificate file failed: $(cat "$scratch/sign.log")"
fi
# A wrong PIN signs nothing.
cp "$clone/build/dist-x64/vant-setup.exe" "$scratch/wrong-pin.exe"
if env "${no_signing[@]}" VANT_SIGN_PKCS11_MODULE="$module" VANT_SIGN_KEY="$key_uri" VANT_SIGN_CERT="$cert_uri" \
  VANT_SIGN_PASS=000000 VANT_SIGN_NO_TIMESTAMP=1 bash "$clone/scripts/sign.sh" "$scratch/wrong-pin.exe" \
  >"$scratch/sign.log" 2>&1 </dev/null || ! cmp -s "$scratch/wrong-pin.exe" "$clone/build/dist-x64/vant-setup.exe"; then
  fail "sign.sh signed (or changed the exe) with a wrong PIN"
fi

# ==== 2. Signed elsewhere, then --finish ===============================================
# An uncommitted change: BUILDINFO says the bytes are not the commit's.
echo "// uncommitted" >>"$clone/src/main.cpp"
echo "==> dist.sh, unsigned"
(cd "$clone" && env "${no_signing[@]}" bash scripts/dist.sh "${release_args[@]}" >"$scratch/dist-unsigned.log" 2>&1)
status=$?
if ((status != 0)); then
  cat "$scratch/dist-unsigned.log"
  fail "the unsigned dist.sh run failed with status $status"
  echo "$failures case(s) failed"
  exit 1
fi
sums_match "unsigned"
grep -q "NOT signed" "$scratch/dist-unsigned.log" && grep -q "dist.sh --finish" "$scratch/dist-unsigned.log" ||
  fail "the unsigned run does not say what to do next: $(tail -3 "$scratch/dist-unsigned.log")"
grep -qx "source commit: $commit, with uncommitted changes.*" "$clone/dist/BUILDINFO" ||
  fail "BUILDINFO does not say the tree had uncommitted changes: $(grep commit "$clone/dist/BUILDINFO")"
mkdir -p "$scratch/unsigned"
cp "$clone"/dist/vant-setup-x64.exe "$clone"/dist/vant-setup-x86.exe "$scratch/unsigned/"
cp "$clone/dist/SHA256SUMS" "$clone/dist/BUILDINFO" "$scratch/unsigned/"

# sign_outside CERT KEY EXE [timestamp]: what signtool or a signing service
# does (osslsigncode's own time-stamping authority stands in for the CA's).
sign_outside() {
  local stamp=()
  [[ ${4-} == timestamp ]] && stamp=(-TSA-certs "$pki/tsa.pem" -TSA-key "$pki/tsa.key")
  rm -f "$scratch/signed.exe"
  osslsigncode sign -certs "$1" -key "$2" -h sha256 "${stamp[@]}" -in "$3" -out "$scratch/signed.exe" \
    >/dev/null 2>&1 || fail "signing $3 outside failed"
  cat "$scratch/signed.exe" >"$3"
}
# state SIGNED_X64 SIGNED_X86: dist/ as the unsigned run left it, then each
# exe signed as named (vendor, vendor-no-timestamp, impostor, other-vendor or
# none).
state() {
  local arch how
  cp "$scratch/unsigned/vant-setup-x64.exe" "$scratch/unsigned/vant-setup-x86.exe" \
    "$scratch/unsigned/SHA256SUMS" "$clone/dist/"
  for arch in x64 x86; do
    how=$1
    shift
    case $how in
      none) ;;
      vendor-no-timestamp) sign_outside "$pki/vendor.pem" "$pki/vendor.key" "$clone/dist/vant-setup-$arch.exe" ;;
      *) sign_outside "$pki/$how.pem" "$pki/$how.key" "$clone/dist/vant-setup-$arch.exe" timestamp ;;
    esac
  done
}
# finish ENV...: runs dist.sh --finish with the vendor's certificate in
# VANT_SIGN_CERT (unless ENV sets another); status, err.
finish() {
  (cd "$clone" && env "${no_signing[@]}" VANT_SIGN_CERT="$pki/vendor-chain.pem" "$@" bash scripts/dist.sh --finish \
    >"$scratch/out" 2>"$scratch/err")
  status=$?
  err=$(cat "$scratch/err")
}
# finish_refuses WORDS ENV...: refused, the last line of stderr naming
# every word (|-separated), and no SHA256SUMS left.
finish_refuses() {
  local words=$1 word last
  shift
  finish "$@"
  last=$(tail -n 1 <<<"$err")
  [[ $status -eq 1 && $last == "finish refused: "* ]] ||
    fail "--finish [$*] should be refused; got status $status, err '$err'"
  IFS='|' read -ra word_list <<<"$words"
  for word in "${word_list[@]}"; do
    [[ $last == *"$word"* ]] || fail "--finish [$*]: the refusal does not say '$word': '$last'"
  done
  [[ ! -e $clone/dist/SHA256SUMS ]] || fail "--finish [$*] left a SHA256SUMS after refusing"
}
roots=VANT_SIGN_CAFILE=$pki/both-roots.pem

state none none
finish_refuses "vant-setup-x64.exe|no Authenticode signature" "$roots"
state vendor none
finish_refuses "vant-setup-x86.exe|no Authenticode signature" "$roots"
state vendor impostor
finish_refuses "different signers" "$roots"
state vendor other-vendor
finish_refuses "different signers" "$roots"
state impostor impostor
finish_refuses "vant-setup-x64.exe|does not verify" VANT_SIGN_CAFILE="$pki/root.pem"
state vendor vendor
finish_refuses "does not verify|VANT_SIGN_CAFILE"
state vendor vendor
printf 'X' | dd of="$clone/dist/vant-setup-x86.exe" bs=1 seek=1024 conv=notrunc status=none
finish_refuses "vant-setup-x86.exe|changed after it was signed" "$roots"
state vendor-no-timestamp vendor
finish_refuses "vant-setup-x64.exe|no timestamp|VANT_SIGN_NO_TIMESTAMP=1" "$roots"
finish_refuses "VANT_SIGN_CAFILE" VANT_SIGN_CAFILE="$scratch/no-such-file.pem"
# What the signatures are of: the release's own bytes, each under its own
# name, signed by the release's own certificate.
state vendor vendor
finish_refuses "VANT_SIGN_CERT|is not set" "$roots" VANT_SIGN_CERT=
# The x86 exe, signed, copied over the x64 name.
cp "$clone/dist/vant-setup-x86.exe" "$clone/dist/vant-setup-x64.exe"
finish_refuses "vant-setup-x64.exe|x86 program|0x14c|0x8664" "$roots"
# Both signed, verifiably, with another certificate than the release's: a
# colleague's under the same root, and one in the vendor's name under
# another root that this machine trusts too.
state other-vendor other-vendor
finish_refuses "vant-setup-x64.exe|another certificate than VANT_SIGN_CERT|VANT Other Signer" "$roots"
state impostor impostor
finish_refuses "vant-setup-x64.exe|another certificate than VANT_SIGN_CERT|Other Test Root" "$roots"
state vendor vendor
finish_refuses "another certificate than VANT_SIGN_CERT" "$roots" VANT_SIGN_CERT="$pki/other-vendor.pem"
# The exes of another build (another download host), signed by the vendor.
state none none
LC_ALL=C perl -0777 -pi -e 's/dl\.vant-soft\.com/dl.evil-soft.com/g' "$clone/dist/vant-setup-x86.exe"
cmp -s "$clone/dist/vant-setup-x86.exe" "$scratch/unsigned/vant-setup-x86.exe" && fail "the host is not in the x86 exe's bytes"
for arch in x64 x86; do
  sign_outside "$pki/vendor.pem" "$pki/vendor.key" "$clone/dist/vant-setup-$arch.exe" timestamp
done
finish_refuses "vant-setup-x86.exe|is not the build|Authenticode digest" "$roots"
# A BUILDINFO that records no digests.
state vendor vendor
grep -v 'authenticode sha256' "$scratch/unsigned/BUILDINFO" >"$clone/dist/BUILDINFO"
finish_refuses "BUILDINFO|Authenticode digest" "$roots"
cp "$scratch/unsigned/BUILDINFO" "$clone/dist/BUILDINFO"

# Accepted: the same certificate on both, verified; SHA256SUMS is rewritten
# for the signed bytes.
state vendor vendor
finish "$roots"
if ((status != 0)); then
  fail "--finish refuses two exes signed by the vendor with timestamps: $err"
else
  sums_match "--finish"
  cmp -s "$clone/dist/SHA256SUMS" "$scratch/unsigned/SHA256SUMS" && fail "--finish left the unsigned bytes' SHA256SUMS"
  for arch in x64 x86; do
    verifies "$clone/dist/vant-setup-$arch.exe" "$pki/root.pem"
  done
fi
# The certificate read from the token, by its pkcs11: URI.
state vendor vendor
finish "$roots" VANT_SIGN_CERT="$cert_uri" VANT_SIGN_PKCS11_MODULE="$module"
((status == 0)) || fail "--finish refuses the vendor's exes with VANT_SIGN_CERT the token's certificate: $err"
state vendor-no-timestamp vendor-no-timestamp
finish "$roots" VANT_SIGN_NO_TIMESTAMP=1
((status == 0)) || fail "--finish refuses signatures without a timestamp although VANT_SIGN_NO_TIMESTAMP=1: $err"
sums_match "--finish without timestamps, waived"

# ==== 3. Signing both or neither =====================================================
# The second exe fails to sign (the token pulled, the PIN locked, the
# time-stamping server down; here an osslsigncode that fails on it): dist/
# stays as the unsigned build left it, byte for byte, with the checksums
# of those bytes, and the last line says what to do.
mkdir -p "$scratch/failing-bin"
printf '#!/usr/bin/env bash\nif [[ $1 == sign && " $* " == *vant-setup-x86.exe* ]]; then\n  echo "the token was removed" >&2\n  exit 1\nfi\nexec %q "$@"\n' \
  "$(command -v osslsigncode)" >"$scratch/failing-bin/osslsigncode"
chmod +x "$scratch/failing-bin/osslsigncode"
# sign_release ENV...: release-sign.sh on dist/ as the unsigned run left it,
# with the vendor's key; status, err.
sign_release() {
  state none none
  (cd "$clone" && env "${no_signing[@]}" VANT_SIGN_CERT="$pki/vendor-chain.pem" VANT_SIGN_KEY="$pki/vendor.key" \
    VANT_SIGN_NO_TIMESTAMP=1 "$roots" "$@" bash scripts/release-sign.sh dist >"$scratch/out" 2>"$scratch/err")
  status=$?
  err=$(cat "$scratch/err")
}
# left_unsigned WHAT: the refusal, and dist/ untouched.
left_unsigned() {
  local file
  [[ $status -ne 0 && $(tail -n 1 <<<"$err") == "Signing failed, and no exe was signed"*"dist.sh --finish"* ]] ||
    fail "$1: release-sign.sh should fail saying what to do; got status $status, err '$err'"
  for file in vant-setup-x64.exe vant-setup-x86.exe SHA256SUMS BUILDINFO; do
    cmp -s "$clone/dist/$file" "$scratch/unsigned/$file" || fail "$1: dist/$file is not the unsigned build's"
  done
  [[ $(find "$clone" -maxdepth 1 -name 'dist.signing.*' | wc -l) -eq 0 ]] || fail "$1: the signing folder is left behind"
}
sign_release PATH="$scratch/failing-bin:$PATH"
left_unsigned "the second exe fails to sign"
grep -q "the token was removed" <<<"$err" || fail "release-sign.sh hides osslsigncode's error: '$err'"
# Both sign, but the signatures do not verify here (their root is unknown).
sign_release VANT_SIGN_CAFILE=
left_unsigned "signatures that do not verify"
# And both sign: they replace the unsigned ones, with their checksums.
sign_release
if ((status != 0)); then
  fail "release-sign.sh fails with the vendor's key: $err"
else
  sums_match "release-sign.sh"
  for arch in x64 x86; do
    verifies "$clone/dist/vant-setup-$arch.exe" "$pki/root.pem"
  done
fi

report_cases
