#!/usr/bin/env bash
# Sets up, builds every preset and runs every test: the host unit tests
# (plain and under AddressSanitizer/UBSan) and the Windows tests of the real
# exe under Wine. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

for preset in host host-sanitize windows-x64; do
  echo "==> $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset" </dev/null
done
echo "All tests passed."
