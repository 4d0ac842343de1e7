#!/usr/bin/env bash
# The download host a release is built for, and whether a release may be
# built for it:
#   scripts/release-host.sh [CMAKE CONFIGURE ARGS...]
#   scripts/release-host.sh --cache BUILD_DIR
# Prints the host and exits 0, or prints one line naming VANT_DOWNLOAD_HOST
# on stderr and exits 1.
#
# The first form reads the configure arguments (-DVANT_DOWNLOAD_HOST=...,
# -DVANT_DOWNLOAD_HOST:STRING=..., or "-D" and the setting as two
# arguments; the last one counts, as in CMake). It is only the quick check
# that dist.sh makes before it configures anything: it does not follow what
# else CMake does with its arguments (-U, -C scripts, a second preset), so
#   -DVANT_DOWNLOAD_HOST=dl.vant-soft.com -UVANT_DOWNLOAD_HOST
# passes it and still configures the placeholder.
# The second form is the check that counts: it reads the host back from the
# configured build folder's CMakeCache.txt, which is exactly what the build
# compiles in (CMakeLists.txt lets no normal variable hide the cache entry).
#
# A release whose host no customer can reach fails for every customer, so
# the release step refuses, in any case and with or without a port or a
# final dot:
# - no host, or an empty one;
# - a malformed one: an empty label (a..b, or two final dots), a label that
#   begins or ends with a hyphen (a.-b), a port outside 1-65535
#   (dl.vant-soft.com:0, :65536);
# - reserved names that never resolve: anything under .example, .invalid,
#   .test or .localhost (localhost itself included), and example.com,
#   example.net, example.org with their subdomains;
#   download.vant.example -> refused, DL.Example.COM. -> refused,
#   myexample.com, example.com.cn -> accepted;
# - names that resolve only inside one network or in Tor: anything under
#   .local, .home.arpa, .onion, .internal, .alt, .lan, .home, .corp or
#   .localdomain, and a single label (dlserver), which only a network's
#   own resolver completes;
#   nas.local -> refused, dl.home.arpa:8443 -> refused, dlserver -> refused;
# - IP address literals (below): the server's certificate names a host,
#   and an address compiled into the exe can never move.
# Development and test builds keep their placeholder default.
# Example: -DVANT_DOWNLOAD_HOST=dl.vant-soft.com:8443 -> dl.vant-soft.com:8443
set -euo pipefail
# shellcheck source=cmake-setting.sh
source "$(dirname "$0")/cmake-setting.sh"

# Prints why a release for the host is refused; nothing when it may be built.
refusal() {
  local host=$1 name label port
  # Compared without a port, one final dot or case:
  # DL.Example.COM.:8443 -> dl.example.com
  name=${host%%:*}
  name=${name%.}
  name=${name,,}
  if [[ -z $name ]]; then
    echo "is empty"
    return
  fi
  if [[ $name == .* || $name == *..* || $name == *. ]]; then
    echo "has an empty label (two dots in a row, or a dot at the start or two at the end)"
    return
  fi
  if [[ $host == *:* ]]; then
    port=${host#*:}
    if [[ ! $port =~ ^[0-9]{1,5}$ ]] || ((10#$port < 1 || 10#$port > 65535)); then
      echo "has a port outside 1-65535"
      return
    fi
  fi
  if [[ $name =~ (^|\.)- || $name =~ -($|\.) ]]; then
    echo "has a label that begins or ends with a hyphen, which no host name has"
    return
  fi
  # CMakeLists.txt allows only letters, digits, dots and hyphens, with an
  # optional port, so an IPv6 literal cannot be given. An IPv4 literal is
  # not only 192.168.1.10: URL parsers (curl's, and browsers' after the
  # WHATWG URL standard) read a host of one to four numbers, each decimal,
  # octal (leading 0) or hex (0x), as an address, so 2130706433, 0x7f000001
  # and 0177.1 all mean 127.0.0.1. Like the WHATWG parser, a host whose last
  # label is all digits, or 0x and hex digits, counts as an address; no
  # top-level domain looks like that.
  #   10.0.0.1:8443 -> refused, 0x7f.1 -> refused, 2130706433 -> refused;
  #   1e100.net, 123.vant.cn, dl.vant.cafe (hex letters without 0x: a
  #   name) -> accepted.
  label=${name##*.}
  if [[ $label =~ ^[0-9]+$ || $label =~ ^0x[0-9a-f]*$ ]]; then
    echo "is an IP address (the server's certificate names a host, and an address compiled into the exe can never move)"
    return
  fi
  local suffix
  for suffix in example invalid test localhost local onion home.arpa internal alt lan home corp localdomain \
    example.com example.net example.org; do
    if [[ $name == "$suffix" || $name == *."$suffix" ]]; then
      echo "is a reserved or special-use name that customers cannot reach"
      return
    fi
  done
  if [[ $name != *.* ]]; then
    echo "is a single label, which only a network's own resolver completes (customers need the full name)"
    return
  fi
}

if [[ ${1-} == --cache ]]; then
  if (($# != 2)); then
    echo "usage: release-host.sh --cache BUILD_DIR" >&2
    exit 2
  fi
  if ! setting_from_cache VANT_DOWNLOAD_HOST "$2"; then
    echo "release refused: $2/CMakeCache.txt holds no VANT_DOWNLOAD_HOST; was $2 configured?" >&2
    exit 1
  fi
  host=$setting
  where=" (what $2 was configured with)"
else
  if ! setting_from_args VANT_DOWNLOAD_HOST "$@" || [[ -z $setting ]]; then
    echo "release refused: no download host; pass -DVANT_DOWNLOAD_HOST=<your download server's host name>" >&2
    exit 1
  fi
  host=$setting
  where=
fi

reason=$(refusal "$host")
if [[ -n $reason ]]; then
  echo "release refused: VANT_DOWNLOAD_HOST '$host'$where $reason; pass your download server's host name" >&2
  exit 1
fi
echo "$host"
