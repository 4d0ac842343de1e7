#!/usr/bin/env bash
# Runs runtime_probe under Wine and checks how each case ends:
#   runtime-probe.sh EMULATOR... PROBE
set -euo pipefail

probe=${*: -1}
emulator=("${@:1:$#-1}")
err=$(mktemp)
trap 'rm -f "$err"' EXIT
failures=0

# expect MODE STATUS_RULE REPORT
expect() {
  local mode=$1 rule=$2 report=$3 status=0
  "${emulator[@]}" "$probe" "$mode" </dev/null >/dev/null 2>"$err" || status=$?
  case $rule in
    zero) [[ $status -eq 0 ]] ;;
    # A fail-fast end: 0xC0000409, of which Wine hands the shell the low
    # byte; never the program's own codes 0 or 1.
    fail-fast) [[ $status -ne 0 && $status -ne 1 ]] ;;
  esac || { echo "FAIL: $mode ended with status $status"; failures=$((failures + 1)); }
  if [[ -n $report ]] && ! grep -qF -- "$report" "$err"; then
    echo "FAIL: $mode: the error stream lacks: $report"
    cat "$err"
    failures=$((failures + 1))
  fi
}

expect ok zero ""
expect new fail-fast "memory allocation of "
expect new fail-fast " bytes failed"
expect length fail-fast "internal error: length error: "
((failures == 0)) && echo "run-time replacements end the process as intended"
exit $((failures > 0))
