#!/usr/bin/env bash
# The exe must start on any Windows 10 as it is copied, with no DLL of the
# toolchain beside it (a missing DLL fails silently with status 53 under
# Wine, and with a dialog on Windows), and import only KnownDLLs: kernel32,
# ntdll, the C run-time msvcrt and advapi32, with or without an installer
# signer (src/platform/library_search.h says why). And it must be a console
# program, so that it gets a console of its own when started from Explorer.
#
#   check_imports.sh OBJDUMP EXE
set -euo pipefail
objdump=$1 exe=$2

headers=$("$objdump" -p "$exe")
imports=$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p')
if [ -z "$imports" ]; then
  echo "FAILED: no import table found in $exe"
  exit 1
fi

status=0
while IFS= read -r dll; do
  lower=$(printf '%s' "$dll" | tr '[:upper:]' '[:lower:]')
  case "$lower" in
    kernel32.dll | ntdll.dll | msvcrt.dll | advapi32.dll) echo "ok: $dll" ;;
    *) echo "FAILED: imports $dll, which is not one of kernel32, ntdll, msvcrt and advapi32"; status=1 ;;
  esac
done <<<"$imports"

if ! grep -Eq '^Subsystem[[:space:]]+0*3[[:space:]]' <<<"$headers"; then
  echo "FAILED: not a console program:"
  grep '^Subsystem' <<<"$headers" || true
  status=1
fi
exit $status
