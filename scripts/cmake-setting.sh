#!/usr/bin/env bash
# Reads one CMake cache setting the way the release step needs it; sourced
# by scripts/release-host.sh and scripts/release-signer.sh.
#
# setting_from_args NAME ARGS...
#   From configure arguments: -DNAME=v, -DNAME:TYPE=v, or "-D" and "NAME=v"
#   as two arguments; the last one counts, as in CMake. Sets $setting to
#   the value and returns 0 when the setting is given (an empty value
#   included), 1 when it is not.
#     -DVANT_X=a -D VANT_X:STRING=b -> b
# setting_from_cache NAME BUILD_DIR
#   From the folder's CMakeCache.txt, as CMake writes the entry:
#   NAME:STRING=v (another type if one was given with -D); the last one
#   counts. Sets $setting and returns 0, or returns 1 when the cache (or
#   the entry) is missing.

setting_from_args() {
  local name=$1 given=1 arg i
  shift
  local args=("$@")
  setting=
  for ((i = 0; i < ${#args[@]}; i++)); do
    arg=${args[i]}
    if [[ $arg == -D && $((i + 1)) -lt ${#args[@]} ]]; then
      arg=-D${args[i + 1]}
      i=$((i + 1))
    fi
    if [[ $arg =~ ^-D${name}(:[A-Za-z]+)?=(.*)$ ]]; then
      setting=${BASH_REMATCH[2]}
      given=0
    fi
  done
  return $given
}

setting_from_cache() {
  local name=$1 entry
  entry=$(grep -E "^${name}:[A-Z]+=" "$2/CMakeCache.txt" 2>/dev/null | tail -n 1) || true
  setting=${entry#*=}
  [[ -n $entry ]]
}
