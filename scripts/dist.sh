#!/usr/bin/env bash
# Builds the release exes for both architectures from fresh build folders
# (build/dist-x64, build/dist-x86) and writes dist/:
#
#   dist/vant-setup-x64.exe   64-bit Windows 10 (1803 on) and 11
#   dist/vant-setup-x86.exe   32-bit Windows 10 (1803 on); runs on 64-bit Windows too
#   dist/SHA256SUMS           sha256sum format: sha256sum -c SHA256SUMS
#   dist/BUILDINFO            the source commit, settings and toolchain versions
#
#   scripts/dist.sh [--no-installer-signer] CMAKE CONFIGURE ARGS...
#   scripts/dist.sh --finish
#
# docs/release.md is the checklist, with every option. In short: the
# configure arguments carry the vendor settings,
#   scripts/dist.sh -DVANT_DOWNLOAD_HOST=dl.your-company.com -DVANT_VERSION=2.3.1 \
#     "-DVANT_INSTALLER_SIGNER=VANT 软件有限公司" -DVANT_INSTALLER_SIGNER_CA=<fingerprints>
# and a release is refused, with one line naming the setting, when
# - the download host is missing or one customers cannot reach
#   (scripts/release-host.sh);
# - it names no installer signer without --no-installer-signer, or a signer
#   without its CA (scripts/release-signer.sh);
# - the signing variables are incomplete, or name no time-stamping server
#   without VANT_SIGN_NO_TIMESTAMP=1 (scripts/sign.sh).
# The arguments are checked first, before anything is touched; what counts
# is what each build folder was really configured with, read back from its
# CMake cache before anything is compiled, so -U or a -C script cannot get
# around a refusal. A refusal from a cache comes after dist/ was removed,
# so no exe or SHA256SUMS is left that could pass for this release.
#
# BUILDINFO records each exe's machine type and Authenticode digest, which
# bind the signed exes to this build. With VANT_SIGN_CERT (see
# scripts/sign.sh: a token through PKCS#11, or key files) both exes are
# signed, checked and then checksummed, both or neither
# (scripts/release-sign.sh); on a terminal without VANT_SIGN_PASS the
# token's PIN is asked for first. Without it they stay unsigned and
# SHA256SUMS covers the unsigned bytes; sign them elsewhere (signtool, a
# signing service), then run
#   VANT_SIGN_CERT=<the certificate, or its pkcs11: URI> scripts/dist.sh --finish
# which checks both signatures (scripts/verify-signatures.sh: each exe
# signed, verified, timestamped, both by the same certificate) and what
# they are of (scripts/release-binding.sh: the build BUILDINFO records, each
# exe under its own name, signed by VANT_SIGN_CERT's certificate), and only
# then rewrites SHA256SUMS for the signed bytes. Unsigned exes are
# byte-identical from build to build with the toolchain that BUILDINFO
# names.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
# shellcheck source=authenticode.sh
source scripts/authenticode.sh

# --finish: the exes in dist/ were signed elsewhere.
finish() {
  local exe
  for exe in dist/vant-setup-x64.exe dist/vant-setup-x86.exe; do
    [[ -f $exe ]] || { echo "finish refused: $exe is missing; build the release with scripts/dist.sh first" >&2; exit 1; }
  done
  # A SHA256SUMS of other bytes must not survive a refusal. The signatures
  # must verify, and be of the build BUILDINFO records, each exe under its
  # own name, signed by VANT_SIGN_CERT.
  if ! bash scripts/verify-signatures.sh dist/vant-setup-x64.exe dist/vant-setup-x86.exe ||
    ! bash scripts/release-binding.sh dist; then
    rm -f dist/SHA256SUMS
    exit 1
  fi
  write_sums
}

write_sums() {
  (cd dist && sha256sum vant-setup-x64.exe vant-setup-x86.exe >SHA256SUMS)
}

if [[ ${1-} == --finish ]]; then
  if (($# != 1)); then
    echo "usage: scripts/dist.sh --finish (no other arguments: it only verifies and checksums dist/)" >&2
    exit 2
  fi
  if [[ -z ${VANT_SIGN_CERT:-} ]]; then
    echo "finish refused: VANT_SIGN_CERT is not set; set it to the release's signing certificate (its file, or its pkcs11: URI in the token), so that exes signed with another certificate are refused" >&2
    rm -f dist/SHA256SUMS
    exit 1
  fi
  if [[ $VANT_SIGN_CERT == pkcs11:* ]]; then
    bash scripts/setup.sh --release --pkcs11
  else
    bash scripts/setup.sh --release
  fi
  finish
  echo "==> dist/ is ready to publish (docs/release.md, step 6)"
  ls -l dist
  cat dist/SHA256SUMS
  exit 0
fi

# dist.sh's own option; everything else goes to CMake.
signer_option=()
configure_args=()
for arg in "$@"; do
  if [[ $arg == --no-installer-signer ]]; then
    signer_option=(--no-installer-signer)
  else
    configure_args+=("$arg")
  fi
done

# The quick checks of the arguments and the environment.
bash scripts/release-host.sh "${configure_args[@]}" >/dev/null
bash scripts/release-signer.sh "${signer_option[@]}" "${configure_args[@]}" >/dev/null
signing=0
if [[ -n ${VANT_SIGN_CERT:-} || -n ${VANT_SIGN_KEY:-} || -n ${VANT_SIGN_PKCS11_MODULE:-} ]]; then
  # A key or a module without a certificate is an incomplete signing setup,
  # not a request for unsigned exes: sign.sh refuses it.
  bash scripts/sign.sh --check
  signing=1
fi
# The token's PIN, asked for now, before the build, without echo: a PIN
# exported in VANT_SIGN_PASS stays in the shell's history and reaches every
# program started from that shell. It goes to sign.sh alone.
if ((signing)) && [[ -n ${VANT_SIGN_PKCS11_MODULE:-} && -z ${VANT_SIGN_PASS:-} && -t 0 ]]; then
  read -rsp "PIN of the token for $VANT_SIGN_KEY (not shown): " pin
  echo
  [[ -n $pin ]] || { echo "signing refused: no PIN entered" >&2; exit 1; }
else
  pin=${VANT_SIGN_PASS-}
fi

if [[ -n ${VANT_SIGN_PKCS11_MODULE:-} ]]; then
  bash scripts/setup.sh --release --pkcs11
else
  bash scripts/setup.sh --release
fi

rm -rf dist
mkdir -p build
# Both folders are configured and their settings read back before either is
# built, so a refusal leaves no exe of one architecture behind.
declare -A host signer
for arch in x64 x86; do
  build=build/dist-$arch
  rm -rf "$build"
  cmake --preset "windows-$arch" -B "$build" -DVANT_BUILD_TESTS=OFF "${configure_args[@]}" \
    >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
  host[$arch]=$(bash scripts/release-host.sh --cache "$build") || exit 1
  signer[$arch]=$(bash scripts/release-signer.sh "${signer_option[@]}" --cache "$build") || exit 1
done

# cache BUILD NAME: the value of a cache entry.
cache() {
  sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt" | tail -n 1
}

mkdir dist
for arch in x64 x86; do
  build=build/dist-$arch
  echo "==> $arch: $build, downloads from https://${host[$arch]}/download/latest"
  cmake --build "$build" --target vant-setup
  # The checks the packaging tests make of the exe's file, before signing;
  # the check of the installer's signer, its texts and the loading of its
  # libraries have a larger budget.
  if [[ -n ${signer[$arch]} ]]; then
    signer_check=signer budget=98304
  else
    signer_check=no-signer budget=90112
  fi
  { bash tests/windows/packaging/size-budget.sh "$build/vant-setup.exe" "$(cache "$build" VANT_OBJDUMP)" "$budget" &&
    bash tests/windows/packaging/check-exe.sh "$build/vant-setup.exe" "$(cache "$build" VANT_OBJDUMP)" \
      "$(cache "$build" CMAKE_RC_COMPILER)" "$arch" "$(cache "$build" VANT_EXECUTION_LEVEL)" "$signer_check" \
      "$root" "$root/$build"; } >"$build.checks.log" || { cat "$build.checks.log"; exit 1; }
  # The signer the exe holds, which must be the one its cache holds.
  signer[$arch]=$(bash scripts/release-signer.sh --built "$build" "$build/vant-setup.exe") || exit 1
  cp "$build/vant-setup.exe" "dist/vant-setup-$arch.exe"
done
rm -f build/dist-x64.*.log build/dist-x86.*.log

# What another machine needs to rebuild these bytes: the commit, the
# settings, and the toolchain's versions (the same versions give the same
# bytes; other ones may not).
package_versions() {
  local package
  for package in "$@"; do
    printf '  %s %s\n' "$package" "$(dpkg-query -W -f='${Version}' "$package" 2>/dev/null || echo '(not installed)')"
  done
}
first_line() {
  "$@" 2>&1 | head -n 1 || true
}
{
  echo "vant-setup release build"
  if commit=$(git -C "$root" rev-parse HEAD 2>/dev/null); then
    if [[ -n $(git -C "$root" status --porcelain 2>/dev/null) ]]; then
      echo "source commit: $commit, with uncommitted changes (these bytes cannot be rebuilt from the commit)"
    else
      echo "source commit: $commit"
    fi
  else
    echo "source commit: unknown (not a git checkout)"
  fi
  echo "version: $(cache build/dist-x64 VANT_VERSION)"
  # What --finish binds the signed exes to: each one's machine type, which
  # its name must match, and the Authenticode digest its signature must
  # carry.
  for arch in x64 x86; do
    exe=dist/vant-setup-$arch.exe
    echo "vant-setup-$arch.exe before signing: sha256 $(sha256sum <"$exe" | cut -d' ' -f1)"
    pe_identity "$exe" || { echo "$exe $pe_error" >&2; exit 1; }
    echo "vant-setup-$arch.exe machine: $pe_machine ($arch)"
    echo "vant-setup-$arch.exe authenticode sha256: $pe_digest"
  done
  echo "settings (read back from the build folders' CMake caches):"
  for name in VANT_DOWNLOAD_HOST VANT_INSTALLER_SIGNER VANT_INSTALLER_SIGNER_CA VANT_EXECUTION_LEVEL \
    VANT_COMPANY_NAME VANT_LEGAL_COPYRIGHT VANT_INTERNAL_NAME VANT_OWN_ENTRY CMAKE_BUILD_TYPE; do
    x64=$(cache build/dist-x64 "$name") x86=$(cache build/dist-x86 "$name")
    if [[ $x64 == "$x86" ]]; then
      echo "  $name=$x64"
    else
      echo "  $name=$x64 (x64), $x86 (x86)"
    fi
  done
  echo "build OS: $(. /etc/os-release 2>/dev/null && echo "${PRETTY_NAME:-unknown}"), $(uname -m)"
  echo "toolchain:"
  for arch in x64 x86; do
    echo "  $arch compiler: $(first_line "$(cache "build/dist-$arch" CMAKE_CXX_COMPILER)" --version)"
    objdump=$(cache "build/dist-$arch" VANT_OBJDUMP) # /usr/bin/x86_64-w64-mingw32-objdump -> ...-ld
    echo "  $arch linker: $(first_line "${objdump%objdump}ld" --version)"
  done
  echo "  cmake: $(first_line cmake --version)"
  echo "  ninja: $(first_line ninja --version)"
  echo "  osslsigncode: $(osslsigncode --version 2>&1 | head -n 2 | tr -s '\n\t' '  ' | sed 's/ *$//' || true)"
  echo "Debian packages:"
  package_versions g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix-runtime binutils-mingw-w64-x86-64 \
    mingw-w64-x86-64-dev g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix-runtime binutils-mingw-w64-i686 \
    mingw-w64-i686-dev mingw-w64-common cmake ninja-build osslsigncode
} >dist/BUILDINFO

version=$(cache build/dist-x64 VANT_VERSION)
# The unsigned build's checksums first: what dist/ holds if signing fails.
write_sums
if ((signing)); then
  # Both or neither (scripts/release-sign.sh).
  VANT_SIGN_PASS=$pin bash scripts/release-sign.sh dist || exit 1
  next="publish the two exes and SHA256SUMS (docs/release.md, step 6)"
else
  next="sign both exes (signtool, or your signing service), then run scripts/dist.sh --finish, which verifies them and rewrites SHA256SUMS for the signed bytes (docs/release.md, steps 4 and 5)"
  echo "NOTE: VANT_SIGN_CERT is not set: the exes are NOT signed, and SHA256SUMS covers the unsigned bytes."
fi

echo "==> dist/: version $version"
for arch in x64 x86; do
  echo "vant-setup-$arch.exe downloads from https://${host[$arch]}/download/latest"
done
if [[ -n ${signer[x64]} ]]; then
  # Read back from the exes.
  echo "Installer signer held by both exes: \"${signer[x64]}\", CA $(cache build/dist-x64 VANT_INSTALLER_SIGNER_CA) (only an installer signed by it under that CA is started)"
else
  echo "Installer signer: none, by --no-installer-signer (the downloaded installer is started unchecked)"
fi
ls -l dist
cat dist/SHA256SUMS
echo "Next: $next."
