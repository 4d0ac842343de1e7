#!/usr/bin/env bash
# The release step's refusals other than the download host's
# (release_host_test.sh has those), each one line naming the setting:
# - the installer signer: none without --no-installer-signer, one with it,
#   one without its CA; from the arguments, and read back from a configured
#   folder's cache, so that -U after the arguments cannot get around it; a
#   normal variable that would hide the cache entry, and a built exe that
#   does not hold the signer its cache names;
# - the signing variables: an incomplete set, a PKCS#11 key without its
#   module and the reverse, no time-stamping server without the waiver;
# - the version: CMake refuses what is not major.minor.patch[.build].
# A refusal from the arguments or the environment comes before anything is
# touched (setup is not run, dist/ stays); one from a cache leaves nothing
# compiled and nothing in dist/. No exe is built.
#   release_refusals_test.sh SOURCE_DIR
set -uo pipefail
root=$(cd "$1" && pwd)
# shellcheck source=../common/shell_cases.sh
source "$(dirname "${BASH_SOURCE[0]}")/../common/shell_cases.sh"

# A copy of the source tree, so that its dist/ and build/ are the ones
# dist.sh writes. setup.sh only leaves a mark: the machine is set up.
source=$scratch/source
mkdir -p "$source"
tar -C "$root" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$source" -xf -
printf 'touch "%s/setup-ran"\n' "$scratch" >"$source/scripts/setup.sh"

# The settings a release may be built with, and a made-up CA fingerprint
# (CMake checks only its form).
host=-DVANT_DOWNLOAD_HOST=dl.vant-soft.com
signer="-DVANT_INSTALLER_SIGNER=VANT 软件有限公司"
ca=-DVANT_INSTALLER_SIGNER_CA=$(printf '%064d' 0 | tr 0 a)

# dist ENV... -- ARGS...: runs dist.sh in the copy with only the given
# signing variables; status, out and err as usual. dist/ holds an exe of an
# earlier run first.
dist() {
  local env=()
  while [[ $1 != -- ]]; do
    env+=("$1")
    shift
  done
  shift
  rm -rf "$source/dist" "$source/build" "$scratch/setup-ran"
  mkdir -p "$source/dist"
  touch "$source/dist/vant-setup-x64.exe"
  (cd "$source" && env -u VANT_SIGN_CERT -u VANT_SIGN_KEY -u VANT_SIGN_PASS -u VANT_SIGN_PKCS11_MODULE \
    -u VANT_SIGN_TIMESTAMP_URL -u VANT_SIGN_NO_TIMESTAMP -u VANT_SIGN_CAFILE "${env[@]}" \
    bash scripts/dist.sh "$@" >"$scratch/out" 2>"$scratch/err")
  status=$?
  out=$(cat "$scratch/out")
  err=$(cat "$scratch/err")
}

# refused_early WORDS ENV... -- ARGS...: refused with one line holding
# every word (a |-separated list), before setup ran or dist/ was touched.
refused_early() {
  local words=$1 word
  shift
  dist "$@"
  if [[ $status -ne 1 || $(printf '%s\n' "$err" | wc -l) -ne 1 ]]; then
    fail "[$*] should be refused with one line; got status $status, err '$err'"
  fi
  IFS='|' read -ra word_list <<<"$words"
  for word in "${word_list[@]}"; do
    [[ $err == *"$word"* ]] || fail "[$*]: the refusal does not say '$word': '$err'"
  done
  if [[ -e $scratch/setup-ran || ! -e $source/dist/vant-setup-x64.exe ]]; then
    fail "[$*]: dist.sh went on past the refusal (setup ran, or dist/ was touched)"
  fi
}

# refused_from_cache WORDS ENV... -- ARGS...: the arguments pass, the
# configured cache is refused with one line, before anything is compiled;
# dist/ is gone.
refused_from_cache() {
  local words=$1 word
  shift
  dist "$@"
  if [[ $status -ne 1 || $(printf '%s\n' "$err" | wc -l) -ne 1 || $err != *"what build/dist-x64 was configured with"* ]]; then
    fail "[$*] should be refused from the cache with one line; got status $status, err '$err'"
  fi
  IFS='|' read -ra word_list <<<"$words"
  for word in "${word_list[@]}"; do
    [[ $err == *"$word"* ]] || fail "[$*]: the refusal does not say '$word': '$err'"
  done
  if [[ -n $(find "$source/dist" -mindepth 1 2>/dev/null) ]]; then
    fail "[$*]: dist.sh left files in dist/ after refusing"
  fi
  if [[ -n $(find "$source/build" -name '*.obj' -o -name 'vant-setup*.exe' 2>/dev/null) ]]; then
    fail "[$*]: dist.sh compiled something before refusing"
  fi
}

# ---- The installer signer -----------------------------------------------------
why_signer="VANT_INSTALLER_SIGNER|root certificates and proxy settings|--no-installer-signer"
refused_early "$why_signer" -- "$host"
refused_early "$why_signer" -- "$host" -DVANT_INSTALLER_SIGNER=
refused_early "$why_signer" -- "$host" "$ca"
refused_early "$why_signer" -- "$host" "$signer" "$ca" -DVANT_INSTALLER_SIGNER=
refused_early "VANT_INSTALLER_SIGNER_CA|any root a customer's PC trusts" -- "$host" "$signer"
refused_early "VANT_INSTALLER_SIGNER_CA" -- "$host" "$signer" "$ca" -DVANT_INSTALLER_SIGNER_CA:STRING=
refused_early "--no-installer-signer|VANT_INSTALLER_SIGNER" -- --no-installer-signer "$host" "$signer" "$ca"
# The arguments name both, and -U drops one again: the configured folders
# have no signer, or no CA. (Dropping only the signer leaves a CA without
# one, which CMake itself refuses; so both go.)
refused_from_cache "$why_signer" -- "$host" "$signer" "$ca" -UVANT_INSTALLER_SIGNER -UVANT_INSTALLER_SIGNER_CA
refused_from_cache "VANT_INSTALLER_SIGNER_CA" -- "$host" "$signer" "$ca" -UVANT_INSTALLER_SIGNER_CA
# A -C script that sets a signer behind the waiver's back.
echo 'set(VANT_INSTALLER_SIGNER "Other Vendor" CACHE STRING "")' >"$scratch/signer.cmake"
refused_from_cache "--no-installer-signer|Other Vendor" -- --no-installer-signer "$host" -C "$scratch/signer.cmake"

# release-signer.sh itself, both forms: what it accepts and prints.
check=$source/scripts/release-signer.sh
accepts() {
  local expected=$1
  shift
  got=$(bash "$check" "$@" 2>"$scratch/err")
  status=$?
  if [[ $status -ne 0 || $got != "$expected" || -s $scratch/err ]]; then
    fail "release-signer.sh [$*] should give '$expected'; got status $status, out '$got', err '$(cat "$scratch/err")'"
  fi
}
accepts "VANT 软件有限公司" "$signer" "$ca"
accepts "VANT 软件有限公司" -D "VANT_INSTALLER_SIGNER=VANT 软件有限公司" -D "VANT_INSTALLER_SIGNER_CA:STRING=ab"
accepts "" --no-installer-signer
accepts "" --no-installer-signer -DVANT_INSTALLER_SIGNER=x -DVANT_INSTALLER_SIGNER=
mkdir -p "$scratch/cache"
printf '%s\n' "VANT_INSTALLER_SIGNER:STRING=VANT 软件有限公司" "VANT_INSTALLER_SIGNER_CA:STRING=ab" \
  >"$scratch/cache/CMakeCache.txt"
accepts "VANT 软件有限公司" --cache "$scratch/cache"
printf '%s\n' "VANT_INSTALLER_SIGNER:STRING=" >"$scratch/cache/CMakeCache.txt"
accepts "" --no-installer-signer --cache "$scratch/cache"
if bash "$check" --cache "$scratch/nowhere" 2>/dev/null; then
  fail "release-signer.sh accepts a folder that was never configured"
fi

# The signer the compiles get is the cache's: a normal variable of the same
# name (here from a CMAKE_PROJECT_INCLUDE script) does not reach the exe.
echo 'set(VANT_INSTALLER_SIGNER "Rogue Vendor")' >"$scratch/rogue-signer.cmake"
rm -rf "$scratch/rogue"
(cd "$source" && cmake --preset windows-x64 -B "$scratch/rogue" -DVANT_BUILD_TESTS=OFF "$host" "$signer" "$ca" \
  "-DCMAKE_PROJECT_INCLUDE=$scratch/rogue-signer.cmake" >"$scratch/configure.log" 2>&1) ||
  fail "configuring with a rogue signer variable failed: $(tail -3 "$scratch/configure.log")"
compiled=$(grep -h '^#define VANT_INSTALLER_SIGNER ' "$scratch"/rogue/src/*installer_signer.h 2>/dev/null)
[[ $compiled == '#define VANT_INSTALLER_SIGNER "VANT 软件有限公司"' ]] ||
  fail "a normal VANT_INSTALLER_SIGNER variable changes the signer the compiles get: '$compiled'"

# What the built exe holds, read back (release-signer.sh --built): a folder
# as the build leaves it, with the header its compiles include, and an exe
# (here a stand-in file) holding the name as UTF-16 and UTF-8.
# built_folder CACHED COMPILED: the folder; COMPILED empty: no header.
built_folder() {
  rm -rf "$scratch/built"
  mkdir -p "$scratch/built/src"
  echo "VANT_INSTALLER_SIGNER:STRING=$1" >"$scratch/built/CMakeCache.txt"
  if [[ -n $2 ]]; then
    printf '#define VANT_INSTALLER_SIGNER "%s"\n#define VANT_INSTALLER_SIGNER_CA "AB"\n' "$2" \
      >"$scratch/built/src/vant_core_installer_signer.h"
    printf '[{"command": "g++ -include \\"%s\\" -c driver.cpp"}]\n' "$scratch/built/src/vant_core_installer_signer.h" \
      >"$scratch/built/compile_commands.json"
  else
    echo '[{"command": "g++ -c driver.cpp"}]' >"$scratch/built/compile_commands.json"
  fi
}
# exe_holding NAME ENCODINGS...: the stand-in exe.
exe_holding() {
  local encoding
  printf 'MZ\0\0 code ' >"$scratch/built/vant-setup.exe"
  for encoding in "${@:2}"; do
    printf '%s\0\0' "$1" | iconv -f UTF-8 -t "$encoding" >>"$scratch/built/vant-setup.exe"
  done
}
built_accepts() { # EXPECTED
  got=$(bash "$check" --built "$scratch/built" "$scratch/built/vant-setup.exe" 2>"$scratch/err")
  status=$?
  [[ $status -eq 0 && $got == "$1" && ! -s $scratch/err ]] ||
    fail "release-signer.sh --built should give '$1'; got status $status, out '$got', err '$(cat "$scratch/err")'"
}
built_refuses() { # WORDS
  local word
  got=$(bash "$check" --built "$scratch/built" "$scratch/built/vant-setup.exe" 2>"$scratch/err")
  status=$?
  err=$(cat "$scratch/err")
  [[ $status -eq 1 && -z $got && $(wc -l <"$scratch/err") -eq 1 ]] ||
    fail "release-signer.sh --built should refuse with one line; got status $status, out '$got', err '$err'"
  IFS='|' read -ra word_list <<<"$1"
  for word in "${word_list[@]}"; do
    [[ $err == *"$word"* ]] || fail "release-signer.sh --built: the refusal does not say '$word': '$err'"
  done
}
built_folder "VANT 软件有限公司" "VANT 软件有限公司"
exe_holding "VANT 软件有限公司" UTF-8 UTF-16LE
built_accepts "VANT 软件有限公司"
built_folder "VANT 软件有限公司" "Rogue Vendor"
exe_holding "Rogue Vendor" UTF-8 UTF-16LE
built_refuses "Rogue Vendor|VANT 软件有限公司|CMakeCache.txt"
built_folder "" "Rogue Vendor"
built_refuses "Rogue Vendor|CMakeCache.txt"
built_folder "VANT 软件有限公司" ""
built_refuses "VANT 软件有限公司|CMakeCache.txt"
built_folder "VANT 软件有限公司" "VANT 软件有限公司"
exe_holding "VANT 软件有限公司" UTF-8
built_refuses "does not hold|VANT 软件有限公司|UTF-16LE"
built_folder "" ""
exe_holding "nothing"
built_accepts ""

# ---- The signing variables ----------------------------------------------------
release=(-- "$host" "$signer" "$ca")
touch "$scratch/cert.pem" "$scratch/key.pem" "$scratch/module.so" "$scratch/bundle.pfx"
why_timestamp="VANT_SIGN_TIMESTAMP_URL|stops verifying when the certificate expires|VANT_SIGN_NO_TIMESTAMP=1"
refused_early "$why_timestamp" VANT_SIGN_CERT="$scratch/cert.pem" VANT_SIGN_KEY="$scratch/key.pem" "${release[@]}"
refused_early "$why_timestamp" VANT_SIGN_CERT="$scratch/cert.pem" VANT_SIGN_KEY="$scratch/key.pem" \
  VANT_SIGN_NO_TIMESTAMP=yes "${release[@]}"
refused_early "$why_timestamp" VANT_SIGN_PKCS11_MODULE="$scratch/module.so" VANT_SIGN_CERT="$scratch/cert.pem" \
  "VANT_SIGN_KEY=pkcs11:token=VANT;object=codesign;type=private" "${release[@]}"
refused_early "VANT_SIGN_CERT" VANT_SIGN_KEY="$scratch/key.pem" VANT_SIGN_NO_TIMESTAMP=1 "${release[@]}"
refused_early "VANT_SIGN_CERT" VANT_SIGN_PKCS11_MODULE="$scratch/module.so" \
  "VANT_SIGN_KEY=pkcs11:token=VANT;object=codesign;type=private" VANT_SIGN_NO_TIMESTAMP=1 "${release[@]}"
refused_early "VANT_SIGN_KEY" VANT_SIGN_CERT="$scratch/cert.pem" VANT_SIGN_NO_TIMESTAMP=1 "${release[@]}"
refused_early "VANT_SIGN_PKCS11_MODULE" VANT_SIGN_CERT="$scratch/cert.pem" \
  "VANT_SIGN_KEY=pkcs11:token=VANT;object=codesign;type=private" VANT_SIGN_NO_TIMESTAMP=1 "${release[@]}"
refused_early "VANT_SIGN_KEY|pkcs11:" VANT_SIGN_PKCS11_MODULE="$scratch/module.so" VANT_SIGN_CERT="$scratch/cert.pem" \
  VANT_SIGN_KEY="$scratch/key.pem" VANT_SIGN_NO_TIMESTAMP=1 "${release[@]}"
refused_early "VANT_SIGN_PKCS11_MODULE" VANT_SIGN_PKCS11_MODULE="$scratch/no-such-module.so" \
  VANT_SIGN_CERT="$scratch/cert.pem" "VANT_SIGN_KEY=pkcs11:token=VANT;object=codesign;type=private" \
  VANT_SIGN_NO_TIMESTAMP=1 "${release[@]}"
refused_early "VANT_SIGN_CERT" VANT_SIGN_PKCS11_MODULE="$scratch/module.so" VANT_SIGN_CERT="$scratch/no-such-cert.pem" \
  "VANT_SIGN_KEY=pkcs11:token=VANT;object=codesign;type=private" VANT_SIGN_NO_TIMESTAMP=1 "${release[@]}"
refused_early "VANT_SIGN_KEY|PKCS#12" VANT_SIGN_CERT="$scratch/bundle.pfx" VANT_SIGN_KEY="$scratch/key.pem" \
  VANT_SIGN_NO_TIMESTAMP=1 "${release[@]}"
# On a terminal, without VANT_SIGN_PASS, dist.sh asks for the token's PIN
# before it builds, and does not show what is typed. (script gives it a
# terminal; the configure that lost the CA then stops it before compiling.)
: >"$scratch/typescript"
# The PIN is typed once the question shows: typed ahead, a terminal echoes
# it before anyone can turn the echo off.
{
  for _ in $(seq 600); do
    grep -q "PIN of the token" "$scratch/typescript" && break
    sleep 0.1
  done
  printf '97531\n'
} | (cd "$source" && env -u VANT_SIGN_CERT -u VANT_SIGN_KEY -u VANT_SIGN_PASS -u VANT_SIGN_PKCS11_MODULE \
  -u VANT_SIGN_TIMESTAMP_URL -u VANT_SIGN_CAFILE VANT_SIGN_PKCS11_MODULE="$scratch/module.so" \
  VANT_SIGN_CERT="$scratch/cert.pem" "VANT_SIGN_KEY=pkcs11:token=VANT;object=codesign;type=private" \
  VANT_SIGN_NO_TIMESTAMP=1 script -qfec "bash scripts/dist.sh $(printf '%q ' "$host" "$signer" "$ca") -UVANT_INSTALLER_SIGNER_CA" \
  "$scratch/typescript") >/dev/null 2>&1
grep -q "PIN of the token for pkcs11:token=VANT;object=codesign;type=private (not shown)" "$scratch/typescript" ||
  fail "dist.sh on a terminal does not ask for the PIN: $(cat "$scratch/typescript")"
grep -q 97531 "$scratch/typescript" && fail "dist.sh shows the PIN as it is typed: $(cat "$scratch/typescript")"
grep -q "VANT_INSTALLER_SIGNER_CA" "$scratch/typescript" || fail "dist.sh did not go on after the PIN: $(cat "$scratch/typescript")"
# Complete sets pass the check (sign.sh --check signs nothing).
sign_check() {
  if ! env "$@" bash "$source/scripts/sign.sh" --check 2>"$scratch/err"; then
    fail "sign.sh --check refuses [$*]: $(cat "$scratch/err")"
  fi
}
sign_check VANT_SIGN_CERT="$scratch/cert.pem" VANT_SIGN_KEY="$scratch/key.pem" VANT_SIGN_TIMESTAMP_URL=http://ts.vant.cn
sign_check VANT_SIGN_CERT="$scratch/cert.pem" VANT_SIGN_KEY="$scratch/key.pem" VANT_SIGN_NO_TIMESTAMP=1
sign_check VANT_SIGN_CERT="$scratch/bundle.pfx" VANT_SIGN_NO_TIMESTAMP=1
sign_check VANT_SIGN_PKCS11_MODULE="$scratch/module.so" "VANT_SIGN_CERT=pkcs11:token=VANT;object=codesign;type=cert" \
  "VANT_SIGN_KEY=pkcs11:token=VANT;object=codesign;type=private" VANT_SIGN_TIMESTAMP_URL=http://ts.vant.cn

# ---- The version --------------------------------------------------------------
# configure ARGS...: the windows-x64 preset in a folder of its own.
configure() {
  rm -rf "$scratch/configured"
  (cd "$source" && cmake --preset windows-x64 -B "$scratch/configured" -DVANT_BUILD_TESTS=OFF "$@" \
    >"$scratch/configure.log" 2>&1)
}
for version in 2.3 2.3.1.4.5 2.03.1 2.3.1-rc1 v2.3.1 2.3.1. 65536.0.0 1.2.3.65536 99999999999999999999.0.0 ""; do
  if configure "-DVANT_VERSION=$version" || ! grep -q "VANT_VERSION '$version'" "$scratch/configure.log"; then
    fail "CMake should refuse VANT_VERSION '$version', naming it"
  fi
done
for version in 0.0.0 2.3.1 2.3.1.45 65535.65535.65535.65535; do
  if ! configure "-DVANT_VERSION=$version"; then
    fail "CMake refuses VANT_VERSION '$version': $(cat "$scratch/configure.log")"
  elif ! grep -q "^VANT_VERSION:STRING=$version\$" "$scratch/configured/CMakeCache.txt"; then
    fail "the cache does not hold VANT_VERSION $version"
  else
    # FILEVERSION takes four numbers: 2.3.1 -> 2,3,1,0.
    commas=$(tr . , <<<"$version")
    [[ $version == *.*.*.* ]] || commas+=,0
    grep -q "^FILEVERSION $commas\$" "$scratch/configured/res/vant-setup.rc" &&
      grep -q "\"FileVersion\", \"$version\"" "$scratch/configured/res/vant-setup.rc" &&
      grep -q "^PRODUCTVERSION $commas\$" "$scratch/configured/res/vant-setup.rc" &&
      grep -q "\"ProductVersion\", \"$version\"" "$scratch/configured/res/vant-setup.rc" ||
      fail "the resource script does not carry version $version: $(grep -i version "$scratch/configured/res/vant-setup.rc")"
  fi
done

report_cases
