#!/usr/bin/env bash
# The download host a release is built for, taken from CMake configure
# arguments (-DVANT_DOWNLOAD_HOST=..., -DVANT_DOWNLOAD_HOST:STRING=..., or
# "-D" and the setting as two arguments; the last one counts, as in CMake):
#   scripts/release-host.sh [CMAKE CONFIGURE ARGS...]
# Prints the host and exits 0, or prints one line naming VANT_DOWNLOAD_HOST
# on stderr and exits 1 when no host is given or the host is a reserved name
# that never resolves. A release for such a host fails for every customer
# (curl cannot resolve it), so the release step refuses it; development and
# test builds keep their placeholder default.
# Reserved: anything under .example, .invalid, .test or .localhost, and
# example.com, example.net, example.org with their subdomains.
# Example: -DVANT_DOWNLOAD_HOST=dl.vant-soft.com:8443 -> dl.vant-soft.com:8443
set -euo pipefail

host=
given=0
args=("$@")
for ((i = 0; i < ${#args[@]}; i++)); do
  arg=${args[i]}
  if [[ $arg == -D && $((i + 1)) -lt ${#args[@]} ]]; then
    arg=-D${args[i + 1]}
    i=$((i + 1))
  fi
  if [[ $arg =~ ^-DVANT_DOWNLOAD_HOST(:[A-Za-z]+)?=(.*)$ ]]; then
    host=${BASH_REMATCH[2]}
    given=1
  fi
done

if ((!given)) || [[ -z $host ]]; then
  echo "release refused: no download host; pass -DVANT_DOWNLOAD_HOST=<your download server's host name>" >&2
  exit 1
fi

# Compared without a port, a final dot or case.
name=${host%%:*}
name=${name%.}
name=${name,,}
reserved=0
for tld in example invalid test localhost; do
  [[ $name == "$tld" || $name == *."$tld" ]] && reserved=1
done
for domain in example.com example.net example.org; do
  [[ $name == "$domain" || $name == *."$domain" ]] && reserved=1
done
if ((reserved)); then
  echo "release refused: VANT_DOWNLOAD_HOST '$host' is a reserved name that never resolves; pass your download server's host name" >&2
  exit 1
fi
echo "$host"
