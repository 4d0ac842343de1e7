#!/usr/bin/env bash
# The installer signer a release is built for, and whether a release may be
# built so:
#   scripts/release-signer.sh [--no-installer-signer] [CMAKE CONFIGURE ARGS...]
#   scripts/release-signer.sh [--no-installer-signer] --cache BUILD_DIR
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
set -euo pipefail
# shellcheck source=cmake-setting.sh
source "$(dirname "$0")/cmake-setting.sh"

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
