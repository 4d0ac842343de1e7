#!/usr/bin/env bash
# Builds the release exes for both architectures from fresh build folders
# (build/dist-x64, build/dist-x86) and writes dist/:
#
#   dist/vant-setup-x64.exe   64-bit Windows 10/11
#   dist/vant-setup-x86.exe   32-bit Windows 10 (also runs on 64-bit Windows)
#   dist/SHA256SUMS           sha256sum format: sha256sum -c SHA256SUMS
#
# Arguments are passed to CMake's configure step, for the vendor settings:
#   scripts/dist.sh -DVANT_DOWNLOAD_HOST=dl.your-company.com -DVANT_COMPANY_NAME=...
# The download host must be given, and must be one customers can reach: not
# the placeholder default download.vant.example, another reserved or
# special-use name, or an IP address (scripts/release-host.sh lists them);
# every customer of such a release would see a failed download. The
# arguments are checked first, which is quick; what counts is the host each
# build folder was really configured with, read back from its CMake cache
# before anything is compiled. A refusal is one line naming
# VANT_DOWNLOAD_HOST. One from the arguments comes before anything is
# touched; one from a cache comes after dist/ was removed, so no exe or
# SHA256SUMS is left that could pass for this release.
# With the installer signer the exes start only an installer signed by it:
#   scripts/dist.sh ... "-DVANT_INSTALLER_SIGNER=VANT 软件有限公司"
#
# With VANT_SIGN_CERT (and VANT_SIGN_KEY, VANT_SIGN_PASS,
# VANT_SIGN_TIMESTAMP_URL; see scripts/sign.sh) both exes are signed before
# the checksums are taken; without them they stay unsigned, and the script
# says so. Unsigned exes are byte-identical from build to build.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/release-host.sh "$@" >/dev/null

bash scripts/setup.sh

rm -rf dist
mkdir -p build
# Both folders are configured and their hosts read back before either is
# built, so a refusal leaves no exe of one architecture behind.
declare -A host
for arch in x64 x86; do
  build=build/dist-$arch
  rm -rf "$build"
  cmake --preset "windows-$arch" -B "$build" -DVANT_BUILD_TESTS=OFF "$@" >"$build.configure.log" 2>&1 ||
    { cat "$build.configure.log"; exit 1; }
  host[$arch]=$(bash scripts/release-host.sh --cache "$build") || exit 1
done
mkdir dist
for arch in x64 x86; do
  build=build/dist-$arch
  echo "==> $arch: $build, downloads from https://${host[$arch]}/download/latest"
  cmake --build "$build" --target vant-setup
  # The checks the packaging tests make of the exe's file, before signing.
  level=$(sed -n 's/^VANT_EXECUTION_LEVEL:STRING=//p' "$build/CMakeCache.txt")
  objdump=$(sed -n 's/^VANT_OBJDUMP:FILEPATH=//p' "$build/CMakeCache.txt")
  windres=$(sed -n 's/^CMAKE_RC_COMPILER:FILEPATH=//p' "$build/CMakeCache.txt")
  signer=$(sed -n 's/^VANT_INSTALLER_SIGNER:STRING=//p' "$build/CMakeCache.txt")
  signer_check=$([[ -n $signer ]] && echo signer || echo no-signer)
  { bash tests/windows/packaging/size-budget.sh "$build/vant-setup.exe" "$objdump" 65536 &&
    bash tests/windows/packaging/check-exe.sh "$build/vant-setup.exe" "$objdump" "$windres" "$arch" \
      "$level" "$signer_check" "$root" "$root/$build"; } >"$build.checks.log" || { cat "$build.checks.log"; exit 1; }
  cp "$build/vant-setup.exe" "dist/vant-setup-$arch.exe"
done
rm -f build/dist-x64.*.log build/dist-x86.*.log

if [[ -n ${VANT_SIGN_CERT:-} ]]; then
  bash scripts/sign.sh dist/vant-setup-x64.exe dist/vant-setup-x86.exe
else
  echo "NOTE: VANT_SIGN_CERT is not set: the exes are NOT signed (see docs/release.md)."
fi

(cd dist && sha256sum vant-setup-x64.exe vant-setup-x86.exe >SHA256SUMS)
if [[ -n $signer ]]; then
  echo "Installer signer: \"$signer\" (only an installer signed by it is started)"
else
  echo "Installer signer: none (the downloaded installer is started unchecked)"
fi
echo "==> dist/"
for arch in x64 x86; do
  echo "vant-setup-$arch.exe downloads from https://${host[$arch]}/download/latest"
done
ls -l dist
cat dist/SHA256SUMS
