#!/usr/bin/env bash
# Whether the installer signer check is built into an exe, read from its
# bytes. The exe imports no library of the check's (it loads wintrust.dll
# and crypt32.dll from the system folder when the check runs), so its
# import table cannot tell; the texts the check needs can:
#   - the library names as UTF-16 (LoadLibraryExW's argument),
#   - "WinVerifyTrust" (GetProcAddress's),
#   - the refusal's first words "安装包签名校验失败：" as UTF-8.
#
#   check_signer_built_in.sh EXE signer|no-signer
# With "signer" every text must be there, with "no-signer" none.
set -euo pipefail
exe=$1 expect=$2

found=()
missing=()
check() {
  local name=$1
  shift
  if LC_ALL=C grep -aq "$@" -- "$exe"; then found+=("$name"); else missing+=("$name"); fi
}
check "wintrust.dll (UTF-16)" -P 'w\x00i\x00n\x00t\x00r\x00u\x00s\x00t\x00\.\x00d\x00l\x00l\x00'
check "crypt32.dll (UTF-16)" -P 'c\x00r\x00y\x00p\x00t\x003\x002\x00\.\x00d\x00l\x00l\x00'
check "WinVerifyTrust" -F 'WinVerifyTrust'
check "安装包签名校验失败：" -F '安装包签名校验失败：'

case $expect in
  signer)
    if ((${#missing[@]} > 0)); then
      printf 'FAILED: the signer check is not built into %s; missing: %s\n' "$exe" "${missing[*]}"
      exit 1
    fi
    echo "ok: the signer check is built into $exe"
    ;;
  no-signer)
    if ((${#found[@]} > 0)); then
      printf 'FAILED: %s has texts of the signer check: %s\n' "$exe" "${found[*]}"
      exit 1
    fi
    echo "ok: no signer check in $exe"
    ;;
  *) echo "unknown expectation $expect"; exit 2 ;;
esac
