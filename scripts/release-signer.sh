#!/usr/bin/env bash
# The installer signer a release is built for, and whether a release may be
# built so:
#   scripts/release-signer.sh [--no-installer-signer] [CMAKE CONFIGURE ARGS...]
#   scripts/release-signer.sh [--no-installer-signer] --cache BUILD_DIR
#   scripts/release-signer.sh --built BUILD_DIR EXE
# Prints the signer (an empty line for a release without one) and exits 0,
# or prints one line naming the setting on stderr and exits 1.
#
# As in scripts/release-host.sh, the first form is dist.sh's quick check of
# its arguments, the second the one that counts: it reads both settings back
# from the configured folder's CMakeCache.txt, so -U or a -C script that
# drops them after the arguments named them is refused too.
#
# A release decides about the installer's signer:
# - VANT_INSTALLER_SIGNER set: VANT_INSTALLER_SIGNER_CA must be set too
#   (the SHA-256 fingerprints of the vendor's CA certificates; CMake checks
#   their form);
# - no signer: only with --no-installer-signer, the vendor's explicit word
#   that the release starts the installer unchecked; with a signer as well
#   the two contradict each other and the release is refused.
#   "-DVANT_INSTALLER_SIGNER=VANT 软件有限公司" -DVANT_INSTALLER_SIGNER_CA=<fp>
#     -> VANT 软件有限公司
#   --no-installer-signer -> (empty line)
#   (nothing) -> refused
# Development and test builds are not asked: only the release step is.
#
# The third form reads back what the built exe holds: the signer in the
# header the compiles included (compile_commands.json names it), which must
# be the cache's, and which the exe must hold as the UTF-16 text the check
# compares (and as UTF-8). So a normal variable of the same name (from a
# toolchain file or a CMAKE_PROJECT_INCLUDE script) cannot put another
# signer into the exe than the one the release prints. Prints the signer the
# exe holds (an empty line for none), or one line "release refused: ..." on
# stderr naming both and exits 1.
set -euo pipefail
# shellcheck source=cmake-setting.sh
source "$(dirname "$0")/cmake-setting.sh"

# bytes_hex: stdin as " xx xx ...", one space before each byte, so that a
# match is always on a byte boundary.
bytes_hex() {
  od -An -v -tx1 | tr -s ' \n' '  ' | sed 's/ *$//'
}

if [[ ${1-} == --built ]]; then
  if (($# != 3)); then
    echo "usage: release-signer.sh --built BUILD_DIR EXE" >&2
    exit 2
  fi
  build=$2 exe=$3
  setting_from_cache VANT_INSTALLER_SIGNER "$build" ||
    { echo "release refused: $build/CMakeCache.txt holds no VANT_INSTALLER_SIGNER; was $build configured?" >&2; exit 1; }
  cached=$setting
  mapfile -t headers < <(grep -o '[^ "\\]*_installer_signer\.h' "$build/compile_commands.json" 2>/dev/null | sort -u)
  built=
  if ((${#headers[@]} > 1)); then
    echo "release refused: the compiles in $build include several signer headers (${headers[*]}); the exe's signer is unclear" >&2
    exit 1
  elif ((${#headers[@]} == 1)); then
    built=$(sed -n 's/^#define VANT_INSTALLER_SIGNER "\(.*\)"$/\1/p' "${headers[0]}")
    if [[ -z $built ]]; then
      echo "release refused: ${headers[0]} defines no VANT_INSTALLER_SIGNER; the exe's signer is unclear" >&2
      exit 1
    fi
  fi
  if [[ $built != "$cached" ]]; then
    echo "release refused: $exe was compiled with the installer signer '${built}', but $build/CMakeCache.txt holds '$cached'; a normal CMake variable (a toolchain file, a CMAKE_PROJECT_INCLUDE script) hides the cache entry; remove it and build again" >&2
    exit 1
  fi
  if [[ -n $built ]]; then
    content=$(bytes_hex <"$exe")
    for encoding in UTF-16LE UTF-8; do
      needle=$(printf '%s' "$built" | iconv -f UTF-8 -t "$encoding" | bytes_hex)
      if [[ $content != *"$needle"* ]]; then
        echo "release refused: $exe does not hold the installer signer '$built' (as $encoding) that $build was configured with" >&2
        exit 1
      fi
    done
  fi
  printf '%s\n' "$built"
  exit 0
fi

unchecked=0
if [[ ${1-} == --no-installer-signer ]]; then
  unchecked=1
  shift
fi

if [[ ${1-} == --cache ]]; then
  if (($# != 2)); then
    echo "usage: release-signer.sh [--no-installer-signer] --cache BUILD_DIR" >&2
    exit 2
  fi
  if ! setting_from_cache VANT_INSTALLER_SIGNER "$2"; then
    echo "release refused: $2/CMakeCache.txt holds no VANT_INSTALLER_SIGNER; was $2 configured?" >&2
    exit 1
  fi
  signer=$setting
  setting_from_cache VANT_INSTALLER_SIGNER_CA "$2" || true
  ca=$setting
  where=" (what $2 was configured with)"
else
  setting_from_args VANT_INSTALLER_SIGNER "$@" || true
  signer=$setting
  setting_from_args VANT_INSTALLER_SIGNER_CA "$@" || true
  ca=$setting
  where=
fi

if [[ -z $signer ]]; then
  if ((!unchecked)); then
    echo "release refused: no VANT_INSTALLER_SIGNER$where; an elevated run trusts the user's own root certificates and proxy settings, which any program of that user can change, so for a release the installer's signer check is the defence that holds and TLS alone is not; pass -DVANT_INSTALLER_SIGNER=<the signer's name, which scripts/signer-pins.sh prints>, or --no-installer-signer to release without the check" >&2
    exit 1
  fi
elif ((unchecked)); then
  echo "release refused: --no-installer-signer, yet VANT_INSTALLER_SIGNER is '$signer'$where; give one or the other" >&2
  exit 1
elif [[ -z $ca ]]; then
  echo "release refused: VANT_INSTALLER_SIGNER '$signer' without VANT_INSTALLER_SIGNER_CA$where; without the CA pin any root a customer's PC trusts (an enterprise's, a debugging proxy's) can issue a certificate in the signer's name, and its installer would start; pass -DVANT_INSTALLER_SIGNER_CA=<the CA fingerprints scripts/signer-pins.sh prints>" >&2
  exit 1
fi
printf '%s\n' "$signer"
