#!/usr/bin/env bash
# Two clean builds of the committed HEAD, in two different temporary folders
# (of different path lengths), under different time zones, locales, umasks
# and job counts, must give byte-identical release exes for both
# architectures. Each build is a full scripts/dist.sh run in its own copy
# made with git archive, so this also proves that dist.sh works from a clean
# tree. Uncommitted changes are not part of the check.
#   scripts/check-reproducible.sh [CMAKE CONFIGURE ARGS...]
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
  (cd "$dir" && env -u VANT_SIGN_CERT -u VANT_SIGN_KEY -u VANT_SIGN_PASS -u VANT_SIGN_TIMESTAMP_URL \
    "$@" bash scripts/dist.sh "${configure_args[@]}") >"$dir.log" 2>&1 || { cat "$dir.log"; exit 1; }
}
configure_args=("$@")
echo "==> build 1 in $first"
(umask 022 && build "$first" TZ=UTC LC_ALL=C.UTF-8 CMAKE_BUILD_PARALLEL_LEVEL=2)
echo "==> build 2 in $second"
(umask 077 && build "$second" TZ=Asia/Shanghai LC_ALL=C CMAKE_BUILD_PARALLEL_LEVEL=1)

status=0
for exe in vant-setup-x64.exe vant-setup-x86.exe; do
  if cmp "$first/dist/$exe" "$second/dist/$exe"; then
    echo "identical: $exe ($(stat -c %s "$first/dist/$exe") bytes, sha256 $(sha256sum <"$first/dist/$exe" | cut -c1-16)...)"
  else
    echo "FAIL: $exe differs between the two builds"
    status=1
  fi
done
exit $status
