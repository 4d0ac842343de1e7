#!/usr/bin/env bash
# Sets up, builds the Windows exe and runs it under Wine in this terminal.
# Wine has no curl.exe of its own, so the run shows the "download tool not
# found" ending unless a curl.exe is placed beside the exe.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset windows-x64
cmake --build --preset windows-x64 --target vant-setup

exe=build/windows-x64/vant-setup.exe
echo "==> $exe"
status=0
bash cmake/wine-run.sh "$PWD/build/windows-x64/wineprefix" "$exe" || status=$?
echo "==> exit code $status"
