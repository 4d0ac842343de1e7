#!/usr/bin/env bash
# Sets up, builds every preset and runs every test: the formatting check,
# the host unit tests (plain and under AddressSanitizer/UBSan), the Windows
# tests of the real 64-bit and 32-bit exes under Wine (the 64-bit one also
# with a real curl, built from Debian's source; the 32-bit one's by the route
# scripts/test-x86.sh finds), the release step (its refusals, the signer
# pins' chains, signing through a PKCS#11 token and elsewhere, both or
# neither), the check that two clean release builds are byte-identical, and
# every fuzz target for a short time. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

echo "==> docs: every path, link and place README, CONTRIBUTING and docs/ name exists"
bash scripts/check-docs.sh
echo "==> format"
bash scripts/format.sh --check

# Debian's curl built for Windows, for the x64 preset's tests with a real
# curl (once; kept in build/windows-x64/real-curl).
echo "==> real curl for the Windows tests"
bash scripts/build-test-curl.sh

for preset in host host-sanitize windows-x64; do
  echo "==> $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset" </dev/null
done
# The 32-bit exe: natively, through qemu, or (saying why) its file checks.
echo "==> windows-x86"
bash scripts/test-x86.sh
echo "==> release step: refusals"
bash tests/release/release_refusals_test.sh .
echo "==> release step: the installer signer's pins from misleading chains"
bash tests/release/signer_pins_chain_test.sh .
echo "==> release step: signing through a SoftHSM2 token, and elsewhere with --finish"
bash tests/release/release_signing_test.sh .
echo "==> reproducible release build"
# A release as a vendor makes one: a real-looking download host (never
# contacted), the installer signer and a CA fingerprint (made up: nothing
# is signed or checked here).
bash scripts/check-reproducible.sh -DVANT_DOWNLOAD_HOST=dl.vant-soft.com -DVANT_VERSION=2.3.1 \
  "-DVANT_INSTALLER_SIGNER=VANT 软件有限公司" "-DVANT_INSTALLER_SIGNER_CA=$(printf '%064d' 0 | tr 0 a)"
# Every fuzz target for 20 s from its committed seeds; any finding fails.
echo "==> fuzz targets"
bash scripts/fuzz.sh --check 20
cat build/windows-x86/route.txt
echo "All tests passed."
