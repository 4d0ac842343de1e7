#!/bin/sh
# Runs a Windows program under Wine in a given prefix:
#   wine-run.sh PREFIX PROGRAM.exe [ARGS...]
# Creates the prefix on first use (once, under a lock, so parallel tests
# share it), keeps one wineserver running for it, and sets the environment
# every run needs. Exits with Wine's status (only the low 8 bits of the
# program's exit code; tests that need all 32 read them from a launcher).
set -eu
prefix=$1
shift

wine_dir=${VANT_WINE_DIR:-/usr/lib/wine}
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No Mono/Gecko prompts while the prefix is made; a crash exits with its
# code instead of a debugger dump on the program's stdout.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}mscoree,mshtml=;winedbg.exe=d"
# Non-ASCII arguments arrive intact only under a UTF-8 locale.
export LANG=C.UTF-8
export LC_ALL=C.UTF-8

mkdir -p "$(dirname "$prefix")"
(
  flock 9
  # Everything started here closes the lock's descriptor: the server and
  # Wine's background services outlive this script, and an inherited copy
  # would hold the lock for as long as they run (five minutes per run).
  if [ ! -f "$prefix/.vant-ready" ]; then
    "$wine_dir/wine64" wineboot -i </dev/null >/dev/null 2>&1 9>&- || true
    touch "$prefix/.vant-ready"
  fi
  # One server that outlives single runs (five idle minutes), and a warm-up
  # run with every stream on /dev/null: Wine's background services inherit
  # the streams of the program that starts them and would otherwise hold a
  # test's stdout open for seconds after the program exits.
  "$wine_dir/wineserver" -p300 </dev/null >/dev/null 2>&1 9>&- || true
  "$wine_dir/wine64" cmd /c exit 0 </dev/null >/dev/null 2>&1 9>&- || true
) 9>"$prefix.lock"

# Never hand Wine a closed standard stream: its own files would take the slot.
if ! [ -e /dev/stdin ]; then exec </dev/null; fi
exec "$wine_dir/wine64" "$@"
