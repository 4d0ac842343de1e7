#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine: CMake, Ninja,
# g++, GoogleTest sources, the MinGW-w64 cross compilers, Wine (64- and
# 32-bit), tmux, and osslsigncode and openssl for the signing step.
# Does nothing when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ googletest
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  wine64 tmux osslsigncode openssl
  # The 32-bit exe's tests run under Debian's 32-bit Wine (i386 packages).
  wine32:i386
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo[@]}" dpkg --add-architecture i386
fi
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
