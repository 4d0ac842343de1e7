#!/usr/bin/env bash
# The release exe's size budget, and where its bytes go:
#   size-budget.sh EXE OBJDUMP MAX_BYTES
# A measurement, not a timing: fails only when the file is over the budget.
set -euo pipefail
exe=$1 objdump=$2 max_bytes=$3

size=$(stat -c %s "$exe")
echo "$exe: $size bytes ($(((size + 1023) / 1024)) KiB), budget $max_bytes bytes"
"$objdump" -h "$exe" | awk '/^ +[0-9]+ \./ {print $2, $3}' | while read -r name hex; do
  printf '  %-8s %6d bytes\n' "$name" "$((16#$hex))"
done
if ((size > max_bytes)); then
  echo "FAIL: $size bytes is over the budget of $max_bytes"
  exit 1
fi
