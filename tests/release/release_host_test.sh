#!/usr/bin/env bash
# The release step's download host check: which configure arguments it
# accepts (printing the host) and which it refuses (one line naming
# VANT_DOWNLOAD_HOST, exit 1); and that dist.sh refuses before it builds or
# deletes anything.
#   release_host_test.sh SOURCE_DIR
set -uo pipefail
root=$1
check=$root/scripts/release-host.sh
failures=0

accepts() {
  local expected=$1
  shift
  local out err status
  out=$(bash "$check" "$@" 2>/tmp/release-host-err.$$)
  status=$?
  err=$(cat /tmp/release-host-err.$$)
  if [[ $status -ne 0 || $out != "$expected" || -n $err ]]; then
    echo "FAIL: [$*] should give '$expected'; got status $status, out '$out', err '$err'"
    failures=$((failures + 1))
  fi
}

refuses() {
  local out err status
  out=$(bash "$check" "$@" 2>/tmp/release-host-err.$$)
  status=$?
  err=$(cat /tmp/release-host-err.$$)
  if [[ $status -ne 1 || -n $out || $err != *VANT_DOWNLOAD_HOST* || $(printf '%s\n' "$err" | wc -l) -ne 1 ]]; then
    echo "FAIL: [$*] should be refused with one line naming VANT_DOWNLOAD_HOST; got status $status, out '$out', err '$err'"
    failures=$((failures + 1))
  fi
}

# No host at all, or an empty one.
refuses
refuses -DVANT_COMPANY_NAME=VANT
refuses -DVANT_DOWNLOAD_HOST=
# The placeholder default and other reserved names, in any case, with a
# port or a final dot.
refuses -DVANT_DOWNLOAD_HOST=download.vant.example
refuses -DVANT_DOWNLOAD_HOST=example
refuses -DVANT_DOWNLOAD_HOST=DL.VANT.EXAMPLE
refuses -DVANT_DOWNLOAD_HOST=dl.vant.invalid
refuses -DVANT_DOWNLOAD_HOST=dl.test:8443
refuses -DVANT_DOWNLOAD_HOST=localhost
refuses -DVANT_DOWNLOAD_HOST=a.localhost
refuses -DVANT_DOWNLOAD_HOST=example.com
refuses -DVANT_DOWNLOAD_HOST=download.example.com
refuses -DVANT_DOWNLOAD_HOST=download.Example.NET.
refuses -DVANT_DOWNLOAD_HOST=www.example.org
refuses -DVANT_DOWNLOAD_HOST:STRING=download.example.com
refuses -D VANT_DOWNLOAD_HOST=download.vant.example
# The last setting counts, as in CMake.
refuses -DVANT_DOWNLOAD_HOST=dl.vant-soft.com -DVANT_DOWNLOAD_HOST=download.vant.example

# Real-looking hosts, in each argument form.
accepts dl.vant-soft.com -DVANT_DOWNLOAD_HOST=dl.vant-soft.com
accepts dl.vant-soft.com -DVANT_COMPANY_NAME=VANT -DVANT_DOWNLOAD_HOST:STRING=dl.vant-soft.com
accepts dl.vant-soft.com -D VANT_DOWNLOAD_HOST=dl.vant-soft.com
accepts download.vant.cn:8443 -DVANT_DOWNLOAD_HOST=download.vant.cn:8443
# Names that only look like reserved ones.
accepts myexample.com -DVANT_DOWNLOAD_HOST=myexample.com
accepts example.com.cn -DVANT_DOWNLOAD_HOST=example.com.cn
accepts testing.vant.cn -DVANT_DOWNLOAD_HOST=testing.vant.cn
accepts dl.vant-soft.com -DVANT_DOWNLOAD_HOST=download.vant.example -DVANT_DOWNLOAD_HOST=dl.vant-soft.com

# dist.sh stops at the check: nothing is built, dist/ is left alone.
scratch=$(mktemp -d)
mkdir -p "$scratch/scripts" "$scratch/dist"
cp "$root/scripts/dist.sh" "$root/scripts/release-host.sh" "$scratch/scripts/"
printf 'echo setup ran >"%s/setup-ran"\n' "$scratch" >"$scratch/scripts/setup.sh"
touch "$scratch/dist/kept"
if bash "$scratch/scripts/dist.sh" -DVANT_DOWNLOAD_HOST=download.vant.example >/dev/null 2>&1 ||
  [[ -e $scratch/setup-ran || ! -e $scratch/dist/kept ]]; then
  echo "FAIL: dist.sh went on past a refused host"
  failures=$((failures + 1))
fi
rm -rf "$scratch" /tmp/release-host-err.$$

if ((failures)); then
  echo "$failures case(s) failed"
  exit 1
fi
echo "all cases passed"
