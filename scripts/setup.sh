#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine, then, if it
# can, Debian's 32-bit Wine for the tests of the 32-bit exe. Does nothing
# when everything is already there.
#   scripts/setup.sh                      everything: the test command's set
#   scripts/setup.sh --release [--pkcs11] only what a release needs (dist.sh)
#
# A release needs the MinGW-w64 cross compilers and binutils, CMake and
# Ninja, osslsigncode and openssl for signing and verifying, and the system's
# root certificates; with --pkcs11 also the OpenSSL engine through which
# osslsigncode reaches a token's PKCS#11 module. The test command adds the
# host compiler, GoogleTest, Wine, tmux, clang-format, clang 16 for the
# fuzz targets, SoftHSM2 (a token in software) with GnuTLS's p11tool for
# the test that signs through PKCS#11, and dpkg-dev and Python 3 for the
# tests with a real curl.
set -euo pipefail

release=0
pkcs11=0
for arg in "$@"; do
  case $arg in
    --release) release=1 ;;
    --pkcs11) pkcs11=1 ;;
    *) echo "usage: $0 [--release [--pkcs11]]" >&2; exit 2 ;;
  esac
done

required=(
  cmake ninja-build
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  osslsigncode openssl ca-certificates
)
if ((pkcs11 || !release)); then
  required+=(libengine-pkcs11-openssl)
fi
optional=()
if ((!release)); then
  required+=(
    g++ googletest wine64 tmux
    # The formatting check: Debian's clang-format.
    clang-format
    # The fuzz targets: clang 16, its libFuzzer and sanitizer runtimes, and
    # llvm-16 for the symbolizer that puts file and line into their reports.
    clang-16 libclang-rt-16-dev llvm-16
    # The PKCS#11 signing test: a token in software, and p11tool to store
    # its throwaway certificate in it.
    softhsm2 gnutls-bin
    # The tests with a real curl: dpkg-source unpacks Debian's curl source
    # package (scripts/build-test-curl.sh), and Python 3 runs the tests'
    # HTTPS server and proxy.
    dpkg-dev python3
  )
  # The 32-bit exe's tests run under Debian's 32-bit Wine (an i386 package).
  # Without it the x86 preset still builds and checks the exe's file, so a
  # machine that cannot install it is not a failure.
  optional=(wine32:i386)
fi

missing_of() {
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      echo "$package"
    fi
  done
}

mapfile -t missing < <(missing_of "${required[@]}")
missing_optional=()
if ((${#optional[@]} > 0)); then
  mapfile -t missing_optional < <(missing_of "${optional[@]}")
fi
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
if ((!release)) && [[ -e /usr/lib/wine/wine ]] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "warning: this kernel cannot run 32-bit programs; the 32-bit exe gets only its file checks" >&2
fi
