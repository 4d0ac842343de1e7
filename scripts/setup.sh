#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine, then, if it
# can, Debian's 32-bit Wine for the tests of the 32-bit exe. Does nothing
# when everything is already there.
#   scripts/setup.sh                      everything: the test command's set
#   scripts/setup.sh --release [--pkcs11] only what a release needs (dist.sh)
#
# A release needs the MinGW-w64 cross compilers and binutils, CMake and
# Ninja, osslsigncode and openssl for signing and verifying, and the system's
# root certificates, and git; with --pkcs11 also the OpenSSL engine through
# which osslsigncode reaches a token's PKCS#11 module, and GnuTLS's p11tool.
# The test command adds the host compiler, GoogleTest, Wine, tmux,
# clang-format, clang 16 for the fuzz targets, SoftHSM2 (a token in
# software) for the test that signs through PKCS#11, and dpkg-dev and
# Python 3 for the tests with a real curl.
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
  # BUILDINFO names the source commit.
  git
)
if ((pkcs11 || !release)); then
  # p11tool (gnutls-bin) finds a key's pkcs11: URI in the token and reads
  # the certificate --finish compares the signatures with.
  required+=(libengine-pkcs11-openssl gnutls-bin)
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
# Installed is not enough: a kernel without 32-bit support cannot start the
# 32-bit loader. Its tests then run through qemu-user (scripts/test-x86.sh):
# version 10, which starts the loader in under a second where Debian 12's
# 7.2 takes a minute and a half, so from bookworm-backports. Only qemu-user
# itself: qemu-user-binfmt, which it recommends, would register handlers in
# this machine's binfmt_misc, and the tests register their own in a private
# namespace instead. VANT_X86_ROUTE=qemu installs it on any kernel.
qemu_usable() {
  local version
  version=$(qemu-i386 --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\)\..*/\1/p')
  [[ -n $version ]] && ((version >= 10))
}
needs_qemu() {
  ((!release)) || return 1
  qemu_usable && return 1
  [[ ${VANT_X86_ROUTE:-} == qemu ]] ||
    { [[ -e /usr/lib/wine/wine ]] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; }
}

if ((${#missing[@]} == 0 && ${#missing_optional[@]} == 0)) && ! needs_qemu; then
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
if needs_qemu; then
  echo "Installing qemu-user 10 for the 32-bit exe's tests (this kernel cannot start 32-bit programs, or VANT_X86_ROUTE=qemu)"
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  from=()
  if [[ $codename == bookworm ]]; then
    from=(-t bookworm-backports)
    if ! grep -rqs '^[^#]*bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
      printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm-backports' \
        'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
        "${sudo[@]}" tee /etc/apt/sources.list.d/bookworm-backports.sources >/dev/null
    fi
  fi
  if ! { "${sudo[@]}" apt-get update -q &&
    "${sudo[@]}" apt-get install -y -q --no-install-recommends "${from[@]}" qemu-user </dev/null; } ||
    ! qemu_usable; then
    echo "warning: qemu-user 10 could not be installed; the 32-bit exe gets only its file checks" >&2
  fi
fi
