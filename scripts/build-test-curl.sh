#!/usr/bin/env bash
# Builds the real curl.exe that the Windows tests run under Wine: Debian's
# own curl source package (7.88.1 on bookworm), cross-compiled with
# MinGW-w64 for x86-64, Schannel for TLS, statically linked and without any
# other library, as Windows' own curl is built. Built once and kept:
#   scripts/build-test-curl.sh [OUTPUT_DIR]   (default build/windows-x64/real-curl)
# leaves OUTPUT_DIR/curl.exe; a later run finds it there and does nothing.
# Needs only Debian's package registry: it adds a deb-src entry for the
# release's own suite when apt has none, then runs `apt-get source`.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$(realpath -m "${1:-build/windows-x64/real-curl}")

if [[ -f $out/curl.exe ]]; then
  exit 0
fi
start=$SECONDS

bash scripts/setup.sh

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive

# The release's own suite (bookworm), never its backports: a newer curl
# would test another program than the one the version probe expects here.
. /etc/os-release
suite=${VERSION_CODENAME:?no VERSION_CODENAME in /etc/os-release}
if ! apt-get source --print-uris -q "curl/$suite" >/dev/null 2>&1; then
  # A copy of the entries that give the suite's main component, as deb-src:
  # the same mirror and the same key (apt refuses two keys for one source),
  # so a machine that reaches Debian only through its own mirror keeps it.
  entries=$(
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [[ -f $file ]] || continue
      sed -nE "s/^deb(\s+\[[^]]*\])?\s+(\S+)\s+$suite\s.*\bmain\b.*/deb-src\1 \2 $suite main/p" "$file"
    done
  )
  stanzas=$(
    for file in /etc/apt/sources.list.d/*.sources; do
      [[ -f $file ]] || continue
      awk -v suite="$suite" 'BEGIN { RS = ""; FS = "\n" }
        {
          deb = 0; ours = 0; main = 0; enabled = 1; out = ""
          for (i = 1; i <= NF; i++) {
            line = $i
            if (line ~ /^#/) continue
            if (line ~ /^Types:/ && line ~ /[ \t]deb([ \t]|$)/) deb = 1
            if (line ~ /^Suites:/ && (" " substr(line, 8) " ") ~ ("[ \t]" suite "[ \t]")) ours = 1
            if (line ~ /^Components:/ && line ~ /[ \t]main([ \t]|$)/) main = 1
            if (line ~ /^Enabled:[ \t]*no/) enabled = 0
            if (line ~ /^(Types|Suites|Components):/) continue
            out = out line "\n"
          }
          if (deb && ours && main && enabled) printf "Types: deb-src\nSuites: %s\nComponents: main\n%s\n", suite, out
        }' "$file"
    done
  )
  if [[ -z $entries && -z $stanzas ]]; then
    echo "build-test-curl.sh: apt has no entry for $suite main to copy as deb-src" >&2
    exit 1
  fi
  echo "Adding deb-src entries for $suite"
  if [[ -n $entries ]]; then
    printf '%s\n' "$entries" | "${sudo[@]}" tee /etc/apt/sources.list.d/vant-test-curl-src.list >/dev/null
  fi
  if [[ -n $stanzas ]]; then
    printf '%s\n' "$stanzas" | "${sudo[@]}" tee /etc/apt/sources.list.d/vant-test-curl-src.sources >/dev/null
  fi
  "${sudo[@]}" apt-get update -q
fi

work=$out/work
rm -rf "$work"
mkdir -p "$work"
(cd "$work" && apt-get source -q "curl/$suite" </dev/null)
source_dir=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'curl-*' | head -n1)
[[ -n $source_dir ]] || { echo "build-test-curl.sh: apt-get source left no curl-* folder" >&2; exit 1; }

# Schannel (and SSPI for proxy authentication) come with Windows; every
# optional library is left out, LDAP included (it would import wldap32).
cmake -S "$source_dir" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_EXE_LINKER_FLAGS=-static \
  -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=ON -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
  -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_WINDOWS_SSPI=ON -DENABLE_UNICODE=ON \
  -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF \
  -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF -DCURL_USE_GSSAPI=OFF -DCURL_DISABLE_LDAP=ON \
  -DCURL_CA_PATH=none -DCURL_CA_BUNDLE=none >"$work/configure.log"
cmake --build "$work/build" -j2 --target curl >"$work/build.log"
exe=$(find "$work/build" -name curl.exe -type f | head -n1)
[[ -n $exe ]] || { echo "build-test-curl.sh: no curl.exe was built (see $work/build.log)" >&2; exit 1; }
x86_64-w64-mingw32-strip -o "$out/curl.exe.part" "$exe"
mv "$out/curl.exe.part" "$out/curl.exe"
version=$(basename "$source_dir")
rm -rf "$work"
echo "Built $out/curl.exe ($version) in $((SECONDS - start)) s"
