#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine: CMake, Ninja,
# g++, GoogleTest sources, the MinGW-w64 cross compilers, Wine, tmux, and
# osslsigncode and openssl for the signing step; then, if it can, Debian's
# 32-bit Wine for the tests of the 32-bit exe. Does nothing when everything
# is already there.
set -euo pipefail

required=(
  cmake ninja-build g++ googletest
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  wine64 tmux osslsigncode openssl
  # The formatting check: Debian's clang-format.
  clang-format
  # The fuzz targets: clang 16, its libFuzzer and sanitizer runtimes, and
  # llvm-16 for the symbolizer that puts file and line into their reports.
  clang-16 libclang-rt-16-dev llvm-16
)
# The 32-bit exe's tests run under Debian's 32-bit Wine (an i386 package).
# Without it the x86 preset still builds and checks the exe's file, so a
# machine that cannot install it is not a failure.
optional=(wine32:i386)

missing_of() {
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      echo "$package"
    fi
  done
}

mapfile -t missing < <(missing_of "${required[@]}")
mapfile -t missing_optional < <(missing_of "${optional[@]}")
if ((${#missing[@]} == 0 && ${#missing_optional[@]} == 0)); then
  exit 0
fi

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive

if ((${#missing[@]} > 0)); then
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" apt-get install -y -q "${missing[@]}" </dev/null
fi

if ((${#missing_optional[@]} > 0)); then
  echo "Installing (optional): ${missing_optional[*]}"
  if ! {
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      "${sudo[@]}" dpkg --add-architecture i386
    fi
    "${sudo[@]}" apt-get update -q &&
      "${sudo[@]}" apt-get install -y -q "${missing_optional[@]}" </dev/null
  }; then
    echo "warning: 32-bit Wine could not be installed; the 32-bit exe gets only its file checks" >&2
  fi
fi
# Installed is not enough: a kernel without 32-bit support cannot start its
# loader, and the 32-bit exe then gets only its file checks too.
if [[ -e /usr/lib/wine/wine ]] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "warning: this kernel cannot run 32-bit programs; the 32-bit exe gets only its file checks" >&2
fi
