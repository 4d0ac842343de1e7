#!/usr/bin/env bash
# The exe must start on any Windows 10 as it is copied, with no DLL of the
# toolchain beside it (a missing DLL fails silently with status 53 under
# Wine, and with a dialog on Windows). So it may import only system DLLs
# that every Windows 10 has, and it must be a console program, so that it
# gets a console of its own when started from Explorer.
#
#   check_imports.sh OBJDUMP EXE [DLL...]
# The DLLs named after EXE (system DLLs too, such as wintrust.dll and
# crypt32.dll for an exe that checks its installer's signer) are allowed
# and must be imported; without them, anything beyond kernel32, ntdll and
# the C run-time fails the check.
set -euo pipefail
objdump=$1 exe=$2
shift 2
extra=("${@,,}")

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
    kernel32.dll | ntdll.dll | msvcrt.dll | api-ms-win-crt-*.dll) echo "ok: $dll" ;;
    *)
      if [[ " ${extra[*]} " == *" $lower "* ]]; then
        echo "ok: $dll (expected)"
      else
        echo "FAILED: imports $dll, which a plain Windows 10 may not have"; status=1
      fi
      ;;
  esac
done <<<"$imports"
for dll in "${extra[@]}"; do
  if ! grep -qix -- "$dll" <<<"$imports"; then
    echo "FAILED: does not import $dll"; status=1
  fi
done

if ! grep -Eq '^Subsystem[[:space:]]+0*3[[:space:]]' <<<"$headers"; then
  echo "FAILED: not a console program:"
  grep '^Subsystem' <<<"$headers" || true
  status=1
fi
exit $status
