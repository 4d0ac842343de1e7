# Shared by the shell tests (sourced): a scratch folder that is removed on
# exit, `fail` to report a failed case and go on, and `finish` to report
# the count and set the exit status.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# report_cases [WHAT]: "N case(s) failed" and status 1, or "[WHAT: ]all cases passed".
report_cases() {
  if ((failures > 0)); then
    echo "$failures case(s) failed"
    exit 1
  fi
  echo "${1:+$1: }all cases passed"
}
