#!/usr/bin/env bash
# Sets up, builds the Windows exe and runs it under Wine in this terminal.
#
# Wine has no curl.exe and the default download host does not exist, so by
# default the run uses our stand-ins from the tests: a curl.exe beside the exe
# that "downloads" the stand-in installer, which then starts. The bootstrapper
# itself is the real build. With --plain the exe runs alone and shows the
# "download tool not found" ending (press Enter to leave it).
#
# Wine starts every program elevated, and an elevated run never runs a curl
# beside it; so the exe is started through the tests' launcher with the
# linked token, as an administrator's unelevated run (or a standard user's).
set -euo pipefail
cd "$(dirname "$0")/.."

plain=0
if [[ ${1:-} == --plain ]]; then
  plain=1
fi

bash scripts/setup.sh
cmake --preset windows-x64
cmake --build --preset windows-x64

build=$PWD/build/windows-x64
prefix=$build/wineprefix
demo=$build/demo
rm -rf "$demo"
mkdir -p "$demo/records"
cp "$build/vant-setup.exe" "$demo/"

if ((plain == 0)); then
  helpers=$build/tests/windows/bin
  cp "$helpers/vant_stand_in_curl.exe" "$demo/curl.exe"
  export VANT_TEST_RECORD_DIR="Z:${demo//\//\\}\\records"
  export VANT_TEST_CURL_PAYLOAD="Z:${helpers//\//\\}\\vant_stand_in_installer.exe"
  export VANT_TEST_CURL_STDERR="######################################################################## 100.0%{U+000A}"
  export VANT_TEST_INSTALLER_STDOUT="(the stand-in installer has started){U+000A}"
fi

echo "==> $demo/vant-setup.exe"
launcher=$build/tests/windows/bin/vant_launch.exe
bash cmake/wine-run.sh "$prefix" "$launcher" --keep-env --limited-token --timeout-ms 600000 \
  --report "Z:${demo//\//\\}\\report.txt" -- "Z:${demo//\//\\}\\vant-setup.exe" || true
echo "==> exit code $(sed -n 's/^exit_code=//p' "$demo/report.txt")"
