#!/usr/bin/env bash
# Runs the shipped exe once under Wine, as a customer without curl would:
# the banner on standard output, the "download tool cannot run" ending on
# the error stream, and exit code 1 once standard input (here empty) gives
# no Enter. The full behaviour is tested elsewhere on the 64-bit build;
# this proves that the exe of each architecture starts, prints and ends.
#   run-exe.sh EMULATOR... EXE
set -euo pipefail

exe=${*: -1}
emulator=("${@:1:$#-1}")
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

status=0
"${emulator[@]}" "$exe" </dev/null >"$out" 2>"$err" || status=$?

failures=0
expect() {
  local file=$1 text=$2
  grep -qF -- "$text" "$file" || { echo "FAIL: $(basename "$file") lacks: $text"; failures=$((failures + 1)); }
}
[[ $status -eq 1 ]] || { echo "FAIL: exit status $status, expected 1"; failures=$((failures + 1)); }
expect "$out" "  VANT 进销存 安装程序"
expect "$out" "正在从服务器获取最新版本，请稍候..."
expect "$out" "按 Enter 键退出..."
expect "$err" "无法运行下载工具："
expect "$err" "请确保系统为 Windows 10 或更高版本。"

if ((failures > 0)); then
  echo "--- stdout"; cat "$out"; echo "--- stderr"; cat "$err"
  exit 1
fi
echo "ran as expected: exit 1 with the banner and the download-tool ending"
