#!/usr/bin/env bash
# The exe must start on any Windows 10 as it is copied, with no DLL of the
# toolchain beside it (a missing DLL fails silently with status 53 under
# Wine, and with a dialog on Windows), and no library that Windows would
# look for in the exe's own folder first. Windows loads an imported library
# before the program's first line, from the program's folder (usually
# Downloads, where any web page can leave a file) unless it is one of the
# KnownDLLs, which always come from the system folder. So the exe imports
# only kernel32, ntdll, the C run-time msvcrt and advapi32 (the token and
# the security descriptor of an elevated run's folder), all KnownDLLs; a
# build with an installer signer too, since its check loads wintrust and
# crypt32 from the system folder at run time instead, as every run that
# needs the random generator loads bcrypt. And it must be a console
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
