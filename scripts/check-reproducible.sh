#!/usr/bin/env bash
# Two clean builds of the committed HEAD, in two different temporary folders
# (of different path lengths), under different time zones, locales, umasks
# and job counts, must give byte-identical release exes for both
# architectures, and the same BUILDINFO. Each build is a full scripts/dist.sh
# run, unsigned, in its own copy made with git archive, so this also proves
# that dist.sh works from a clean tree. Uncommitted changes are not part of
# the check. Both builds use this machine's toolchain: another machine gets
# the same bytes with the versions that BUILDINFO names.
#   scripts/check-reproducible.sh [DIST.SH ARGS...]
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
first=$work/a
second=$work/a-second-copy-in-a-longer-folder/b
mkdir -p "$first" "$second"
git archive HEAD | tar -x -C "$first"
git archive HEAD | tar -x -C "$second"

# Signing adds a signing time: the unsigned exes are what must match.
build() {
  local dir=$1
  shift
  (cd "$dir" && env -u VANT_SIGN_CERT -u VANT_SIGN_KEY -u VANT_SIGN_PASS -u VANT_SIGN_PKCS11_MODULE \
    -u VANT_SIGN_TIMESTAMP_URL -u VANT_SIGN_NO_TIMESTAMP -u VANT_SIGN_CAFILE \
    "$@" bash scripts/dist.sh "${dist_args[@]}") >"$dir.log" 2>&1 || { cat "$dir.log"; exit 1; }
}
dist_args=("$@")
echo "==> build 1 in $first"
(umask 022 && build "$first" TZ=UTC LC_ALL=C.UTF-8 CMAKE_BUILD_PARALLEL_LEVEL=2)
echo "==> build 2 in $second"
(umask 077 && build "$second" TZ=Asia/Shanghai LC_ALL=C CMAKE_BUILD_PARALLEL_LEVEL=1)

status=0
for file in vant-setup-x64.exe vant-setup-x86.exe BUILDINFO; do
  if cmp "$first/dist/$file" "$second/dist/$file"; then
    echo "identical: $file ($(stat -c %s "$first/dist/$file") bytes, sha256 $(sha256sum <"$first/dist/$file" | cut -c1-16)...)"
  else
    echo "FAIL: $file differs between the two builds"
    status=1
  fi
done
exit $status
