#!/usr/bin/env bash
# Sets up, builds every preset and runs every test: the formatting check,
# the host unit tests (plain and under AddressSanitizer/UBSan), the Windows
# tests of the real 64-bit and 32-bit exes under Wine, the check that two
# clean release builds are byte-identical, and every fuzz target for a short
# time. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

echo "==> format"
bash scripts/format.sh --check

for preset in host host-sanitize windows-x64 windows-x86; do
  echo "==> $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset" </dev/null
done
echo "==> reproducible release build"
# A release needs a real-looking download host; this one is never contacted.
bash scripts/check-reproducible.sh -DVANT_DOWNLOAD_HOST=dl.vant-soft.com
# Every fuzz target for 20 s from its committed seeds; any finding fails.
echo "==> fuzz targets"
bash scripts/fuzz.sh --check 20
echo "All tests passed."
