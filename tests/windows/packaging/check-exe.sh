#!/usr/bin/env bash
# Static checks of the shipped exe, read from the file alone (no Wine), so
# they hold for the 32-bit exe on any machine:
#   check-exe.sh EXE OBJDUMP WINDRES ARCH EXECUTION_LEVEL SIGNER_CHECK FORBIDDEN_PATH...
# ARCH is x64 or x86. SIGNER_CHECK is "signer" for an exe built with an
# installer signer (its bytes must then show the check, see
# ../static/check_signer_built_in.sh) and "no-signer" otherwise (they must
# not); either imports the same four DLLs. FORBIDDEN_PATH are folders (source,
# build) whose names must not appear in the exe: a reproducible build
# contains none.
set -euo pipefail
# objdump shows the link time in the local time zone.
export TZ=UTC

exe=$1 objdump=$2 windres=$3 arch=$4 level=$5 signer_check=$6
shift 6

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

headers=$("$objdump" -p "$exe")

# Machine type.
case $arch in
  x64) expected_format="pei-x86-64" ;;
  x86) expected_format="pei-i386" ;;
  *) echo "unknown ARCH $arch"; exit 2 ;;
esac
"$objdump" -f "$exe" | grep -q "file format $expected_format" || fail "not a $expected_format file"

# Only DLLs that every Windows has and always takes from the system folder
# (KnownDLLs), and nothing of a threads library: with a signer too, whose
# check loads wintrust and crypt32 itself when it runs.
dlls=$(grep "DLL Name:" <<<"$headers" | awk '{print $3}' | sort | tr '\n' ' ')
echo "imports: $dlls"
for dll in $dlls; do
  case ${dll,,} in
    kernel32.dll | ntdll.dll | msvcrt.dll | advapi32.dll) ;;
    *) fail "imports $dll" ;;
  esac
done
case $signer_check in
  signer | no-signer)
    bash "$(dirname "${BASH_SOURCE[0]}")/../static/check_signer_built_in.sh" "$exe" "$signer_check" ||
      fail "the signer check is not as configured ($signer_check)"
    ;;
  *) echo "unknown SIGNER_CHECK $signer_check"; exit 2 ;;
esac

# A console program, with the platform's protections on, and no link time.
grep -Eq "^Subsystem[[:space:]]+00000003" <<<"$headers" || fail "subsystem is not the console (3)"
characteristics=$((16#$(awk '/^DllCharacteristics/ {print $2}' <<<"$headers")))
((characteristics & 0x0040)) || fail "no DYNAMIC_BASE (ASLR)"
((characteristics & 0x0100)) || fail "no NX_COMPAT (DEP)"
((characteristics & 0x8000)) || fail "no TERMINAL_SERVER_AWARE"
if [[ $arch == x64 ]]; then
  ((characteristics & 0x0020)) || fail "no HIGH_ENTROPY_VA"
fi
grep -Eq "^Time/Date[[:space:]]+(Thu Jan  1 00:00:00 1970|00000000)" <<<"$headers" ||
  fail "the header carries a link time: $(grep '^Time/Date' <<<"$headers")"

# Stripped, and none of the exception machinery (its terminate handler
# prints this text; its demangler names std::allocator).
"$objdump" -h "$exe" | grep -Eq "\.(debug|stab)" && fail "debug sections present"
grep -aq "terminate called" "$exe" && fail "the verbose terminate handler is linked in"
grep -aq "std::allocator" "$exe" && fail "the demangler is linked in"
for folder in "$@"; do
  grep -aqF "$folder" "$exe" && fail "the exe contains the build path $folder"
done

# The resources, as the resource compiler reads them back: the Chinese
# strings must have survived the trip through windres as UTF-16.
resources=$("$windres" -i "$exe" -O rc 2>/dev/null || true)
check_resource() {
  grep -qF -- "$1" <<<"$resources" || fail "resources lack: $1"
}
check_resource 'VALUE "FileDescription", L"VANT \x8fdb\x9500\x5b58 \x5b89\x88c5\x7a0b\x5e8f"'
check_resource 'VALUE "ProductName", L"VANT \x8fdb\x9500\x5b58"'
check_resource 'VALUE "OriginalFilename", "vant-setup.exe"'
check_resource 'VALUE "Translation", 0x804, 1200'
check_resource '1 24 /* RT_MANIFEST */'
check_resource "<requestedExecutionLevel level=\"\"$level\"\""
check_resource '1 14 /* RT_GROUP_ICON */'

if ((failures > 0)); then
  echo "$failures check(s) failed for $exe"
  exit 1
fi
echo "all checks passed for $exe"
