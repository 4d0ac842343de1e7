#!/usr/bin/env bash
# Signs the two exes of a release folder, both or neither:
#   scripts/release-sign.sh DIST_DIR
# DIST_DIR holds the unsigned build (vant-setup-x64.exe, vant-setup-x86.exe,
# BUILDINFO and their SHA256SUMS), as scripts/dist.sh writes it; the signing
# variables are scripts/sign.sh's. Both exes are signed in a scratch folder
# beside DIST_DIR and checked as dist.sh --finish checks them
# (scripts/verify-signatures.sh, scripts/release-binding.sh); only then do
# they replace the unsigned ones, and SHA256SUMS is written for them.
# A pulled token, a locked PIN or a time-stamping server that is down on the
# second exe thus leaves DIST_DIR as the unsigned build left it, with the
# checksums of those bytes, and the last line on stderr says what to do.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if (($# != 1)); then
  echo "usage: $0 DIST_DIR" >&2
  exit 2
fi
dist=${1%/}
exes=(vant-setup-x64.exe vant-setup-x86.exe)

# Beside DIST_DIR, on the same file system, so that moving a signed exe in
# replaces the unsigned one at once.
scratch=$(mktemp -d "$dist.signing.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cp "${exes[@]/#/$dist/}" "$dist/BUILDINFO" "$scratch/"
if ! bash "$here/sign.sh" "${exes[@]/#/$scratch/}" ||
  ! bash "$here/verify-signatures.sh" "${exes[@]/#/$scratch/}" ||
  ! bash "$here/release-binding.sh" "$scratch"; then
  echo "Signing failed, and no exe was signed: $dist/ holds the unsigned build and its SHA256SUMS; fix what is named above and run scripts/dist.sh again, or sign both exes elsewhere and run scripts/dist.sh --finish." >&2
  exit 1
fi
# No SHA256SUMS while dist/ holds one signed exe and one unsigned.
rm -f "$dist/SHA256SUMS"
mv "${exes[@]/#/$scratch/}" "$dist/"
(cd "$dist" && sha256sum "${exes[@]}" >SHA256SUMS)
