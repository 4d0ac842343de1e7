#!/usr/bin/env bash
# The release step's download host check: which hosts it accepts (printing
# the host) and which it refuses (one line naming VANT_DOWNLOAD_HOST, exit
# 1), read from the configure arguments and read back from a build folder's
# CMake cache; that the cache holds what the build compiles; and that
# dist.sh refuses a configure that lost the host before it builds anything,
# leaving nothing in dist/. No exe is built: a refused dist.sh stops after
# configuring, and the accepted read-back is shown on a configured folder.
#   release_host_test.sh SOURCE_DIR
set -uo pipefail
root=$1
check=$root/scripts/release-host.sh
# shellcheck source=../common/shell_cases.sh
source "$(dirname "${BASH_SOURCE[0]}")/../common/shell_cases.sh"

# run ARGS...: the check's status, stdout and stderr in status, out, err.
run() {
  out=$(bash "$check" "$@" 2>"$scratch/err")
  status=$?
  err=$(cat "$scratch/err")
}

accepts() {
  local expected=$1
  shift
  run "$@"
  if [[ $status -ne 0 || $out != "$expected" || -n $err ]]; then
    fail "[$*] should give '$expected'; got status $status, out '$out', err '$err'"
  fi
}

refuses() {
  run "$@"
  if [[ $status -ne 1 || -n $out || $err != *VANT_DOWNLOAD_HOST* || $(printf '%s\n' "$err" | wc -l) -ne 1 ]]; then
    fail "[$*] should be refused with one line naming VANT_DOWNLOAD_HOST; got status $status, out '$out', err '$err'"
  fi
}

# A build folder whose cache holds the host, as CMake writes the entry.
cache_with() {
  rm -rf "$scratch/cache"
  mkdir -p "$scratch/cache"
  printf '%s\n' "# This is the CMakeCache file." "VANT_DOWNLOAD_HOST:STRING=$1" \
    "VANT_DOWNLOAD_HOST-ADVANCED:INTERNAL=1" >"$scratch/cache/CMakeCache.txt"
}

# A host's verdict, both as a configure argument and read back from a cache.
refuses_host() {
  refuses "-DVANT_DOWNLOAD_HOST=$1"
  cache_with "$1"
  refuses --cache "$scratch/cache"
}
accepts_host() {
  accepts "$1" "-DVANT_DOWNLOAD_HOST=$1"
  cache_with "$1"
  accepts "$1" --cache "$scratch/cache"
}

# No host at all, or an empty one.
refuses
refuses -DVANT_COMPANY_NAME=VANT
refuses_host ""
# The placeholder default and other reserved names, in any case, with a
# port or a final dot.
refuses_host download.vant.example
refuses_host example
refuses_host DL.VANT.EXAMPLE
refuses_host dl.vant.invalid
refuses_host dl.test:8443
refuses_host localhost
refuses_host LocalHost.
refuses_host a.localhost
refuses_host example.com
refuses_host download.example.com
refuses_host download.Example.NET.
refuses_host download.example.net..
refuses_host www.example.org
# Special-use names that resolve only in one network, or in Tor.
refuses_host local
refuses_host nas.local
refuses_host DL.Vant.LOCAL.
refuses_host dl.home.arpa:8443
refuses_host home.arpa
refuses_host vantsoftxyz.onion
# Names that resolve only inside one network: private-use top-level names
# and a single label, which only a network's own search list completes.
refuses_host dlserver
refuses_host DLSERVER.:8443
refuses_host dl.vant.internal
refuses_host internal
refuses_host dl.vant.alt
refuses_host nas.lan
refuses_host router.home
refuses_host dl.vant.corp
refuses_host dl.vant.localdomain
refuses_host localdomain.
# Malformed names: an empty label, a label that begins or ends with a
# hyphen, a port outside 1-65535.
refuses_host dl..vant-soft.com
refuses_host .dl.vant-soft.com
refuses_host dl.vant-soft.com..
refuses_host dl.vant-soft.com..:8443
refuses_host dl.-vant.com
refuses_host dl.vant-.com
refuses_host -dl.vant-soft.com
refuses_host dl.vant-soft.com-
refuses_host dl.vant-soft.com:0
refuses_host dl.vant-soft.com:00000
refuses_host dl.vant-soft.com:65536
refuses_host dl.vant-soft.com:99999
refuses_host dl.vant-soft.com:123456
refuses_host dl.vant-soft.com:
refuses_host dl.vant-soft.com:80:80
refuses_host dl.vant-soft.com:8x
# IP address literals, in the forms URL parsers read as IPv4.
refuses_host 192.168.1.10
refuses_host 10.0.0.1:8443
refuses_host 127.0.0.1.
refuses_host 2130706433
refuses_host 0x7f000001
refuses_host 0X7F000001
refuses_host 0x7f.1
refuses_host 0177.0.0.1
refuses_host 127.1
refuses_host dl.vant.0x
refuses_host dl.vant.123
# The argument forms.
refuses -DVANT_DOWNLOAD_HOST:STRING=download.example.com
refuses -D VANT_DOWNLOAD_HOST=download.vant.example
# The last setting counts, as in CMake.
refuses -DVANT_DOWNLOAD_HOST=dl.vant-soft.com -DVANT_DOWNLOAD_HOST=download.vant.example

# Real-looking hosts, in each argument form.
accepts_host dl.vant-soft.com
accepts dl.vant-soft.com -DVANT_COMPANY_NAME=VANT -DVANT_DOWNLOAD_HOST:STRING=dl.vant-soft.com
accepts dl.vant-soft.com -D VANT_DOWNLOAD_HOST=dl.vant-soft.com
accepts_host download.vant.cn:8443
accepts_host DL.Vant-Soft.COM
# Names that only look like reserved, special-use or numeric ones.
accepts_host myexample.com
accepts_host example.com.cn
accepts_host testing.vant.cn
accepts_host local.vant.cn
accepts_host dl.localnet.cn
accepts_host onion.vant.cn
accepts_host home.arpa.vant.cn
accepts_host 1e100.net
accepts_host 123.vant.cn
accepts_host 192.168.1.10.vant.cn
accepts_host 0x7f000001.vant.cn
accepts_host dl.vant.cafe
accepts_host dl.vant.xn--fiqs8s
# Ports at the ends of the range, a final dot, and hyphens inside labels.
accepts_host dl.vant-soft.com:1
accepts_host dl.vant-soft.com:65535
accepts_host dl.vant-soft.com.
accepts_host dl.vant-soft.com.:443
accepts_host dl--1.vant-soft.com
# Names that only look like the private-use ones.
accepts_host internal.vant.cn
accepts_host dl.vant.lane
accepts_host home.vant.cn
accepts_host dl.corporate.com
accepts_host dl.vant.homes
accepts dl.vant-soft.com -DVANT_DOWNLOAD_HOST=download.vant.example -DVANT_DOWNLOAD_HOST=dl.vant-soft.com

# A folder that was not configured, or whose cache lacks the entry.
refuses --cache "$scratch/nowhere"
mkdir -p "$scratch/other"
echo "VANT_COMPANY_NAME:STRING=VANT" >"$scratch/other/CMakeCache.txt"
refuses --cache "$scratch/other"

# dist.sh stops at the arguments' check: nothing is built, dist/ is left
# alone.
early=$scratch/early
mkdir -p "$early/scripts" "$early/dist"
cp "$root"/scripts/{dist,release-host,release-signer,cmake-setting,sign,authenticode}.sh "$early/scripts/"
printf 'echo setup ran >"%s/setup-ran"\n' "$early" >"$early/scripts/setup.sh"
touch "$early/dist/kept"
if bash "$early/scripts/dist.sh" -DVANT_DOWNLOAD_HOST=download.vant.example >/dev/null 2>&1 ||
  [[ -e $early/setup-ran || ! -e $early/dist/kept ]]; then
  fail "dist.sh went on past a refused host"
fi

# The checks below configure the real project (the windows presets, with
# the MinGW toolchain) in a copy of the source tree, so that the copy's
# dist/ and build/ are the ones dist.sh writes. setup.sh is replaced: the
# machine is set up already.
source=$scratch/source
mkdir -p "$source"
tar -C "$root" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$source" -xf -
echo : >"$source/scripts/setup.sh"

# The arguments name a real host, and -U then drops it: the arguments'
# check passes, the build folder is configured for the placeholder, and
# the read-back refuses before anything is compiled. dist/ (with an exe
# of an earlier run in it) is gone.
mkdir -p "$source/dist"
touch "$source/dist/vant-setup-x64.exe"
(cd "$source" && bash scripts/dist.sh --no-installer-signer -DVANT_DOWNLOAD_HOST=dl.real-vendor.com -UVANT_DOWNLOAD_HOST \
  >"$scratch/dist.out" 2>"$scratch/dist.err")
status=$?
err=$(cat "$scratch/dist.err")
if [[ $status -ne 1 || $err != *VANT_DOWNLOAD_HOST*download.vant.example* || $(printf '%s\n' "$err" | wc -l) -ne 1 ]]; then
  fail "dist.sh should refuse a configure that lost the host with one line naming VANT_DOWNLOAD_HOST and the host it got; got status $status, err '$err'"
fi
if [[ -n $(find "$source/dist" -mindepth 1 2>/dev/null) ]]; then
  fail "dist.sh left files in dist/ after refusing: $(find "$source/dist" -mindepth 1 | tr '\n' ' ')"
fi
if [[ -n $(find "$source/build" -name '*.obj' -o -name '*.o' -o -name 'vant-setup*.exe' 2>/dev/null) ]]; then
  fail "dist.sh compiled something before refusing"
fi

# A real host is read back from a configured folder. A normal variable
# that would hide the cache entry (here from a CMAKE_PROJECT_INCLUDE
# script) does not reach the compiler: every compile gets the host the
# cache holds.
echo 'set(VANT_DOWNLOAD_HOST download.vant.example)' >"$scratch/hide-host.cmake"
configured=$source/build/configured
(cd "$source" && cmake --preset windows-x64 -B "$configured" -DVANT_BUILD_TESTS=OFF \
  -DVANT_DOWNLOAD_HOST=dl.real-vendor.com "-DCMAKE_PROJECT_INCLUDE=$scratch/hide-host.cmake" \
  >"$scratch/configure.log" 2>&1) || {
  cat "$scratch/configure.log"
  fail "configuring windows-x64 failed"
}
accepts dl.real-vendor.com --cache "$configured"
compiled=$(grep -o 'VANT_DOWNLOAD_HOST=[^ ]*' "$configured/compile_commands.json" | sort -u)
if [[ $compiled != 'VANT_DOWNLOAD_HOST=\\\"dl.real-vendor.com\\\"' ]]; then
  fail "the compiles get another host than the cache holds: $compiled"
fi

report_cases
