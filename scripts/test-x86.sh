#!/usr/bin/env bash
# Configures, builds and tests the windows-x86 preset (the 32-bit exe) by
# the first route that works here:
#   native  the kernel starts 32-bit (i386) programs: Debian's 32-bit Wine
#           runs as it is;
#   qemu    it does not: the same inside a private user and mount namespace
#           whose own binfmt_misc hands every i386 program to qemu-i386
#           (qemu-user 10; scripts/setup.sh installs it where needed). Wine
#           starts a new 32-bit loader for every 32-bit child, so only the
#           kernel can route them all. Configuring, building, the Wine
#           prefixes and the tests all happen inside;
#   files   neither works: one line says why, and only the checks of the
#           exe files run.
# The last line printed names the route; build/windows-x86/route.txt keeps
# it for the test command's summary.
#
#   scripts/test-x86.sh [CTEST ARGUMENTS...]      e.g. -R console
#   VANT_X86_ROUTE=native|qemu|files scripts/test-x86.sh
#                                                 that route, or fail
set -euo pipefail
cd "$(dirname "$0")/.."

loader=${VANT_WINE_DIR:-/usr/lib/wine}/wine
build=build/windows-x86
binfmt=/proc/sys/fs/binfmt_misc

# The whole preset; inside the namespace on the qemu route. $1 is
# VANT_WINE32 (ON: every test, OFF: the file checks), $2 what the tests'
# time limits are multiplied by (qemu's starts are slower). Each step
# returns on failure itself: callers that collect the status turn set -e
# off in here.
run_preset() {
  local wine32=$1
  export VANT_TEST_TIME_SCALE=$2
  shift 2
  cmake --preset windows-x86 -DVANT_WINE32="$wine32" -DVANT_TEST_TIME_SCALE="$VANT_TEST_TIME_SCALE" || return
  cmake --build --preset windows-x86 -j2 || return
  if [[ $wine32 == ON ]]; then
    # A prefix made where the 32-bit loader could not start has an empty
    # syswow64, and every 32-bit program fails in it (c0000135): make it
    # anew.
    local prefix
    for prefix in "$build"/wineprefix*/; do
      if [[ -e $prefix/.vant-ready && ! -e $prefix/drive_c/windows/syswow64/kernel32.dll ]]; then
        echo "Removing $prefix: made where 32-bit programs could not start"
        rm -rf "$prefix" || return
      fi
    done
  fi
  ctest --preset windows-x86 "$@" </dev/null
}

# Inside the namespace (as its root): a binfmt_misc of the namespace's own,
# and a handler for i386 ELF executables and shared objects (the loader is
# either) that runs them with qemu-i386, opened at registration (F) so that
# it need not be reachable later. It goes away with the namespace.
register_qemu() {
  local qemu=$1
  mount -t binfmt_misc binfmt_misc "$binfmt" || return 1
  printf '%s' ":vant-qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:$qemu:F" \
    >"$binfmt/register" || return 1
  if [[ $("$loader" --version 2>/dev/null) != wine-* ]]; then
    echo "the 32-bit Wine loader did not start through $qemu" >&2
    return 1
  fi
}

case ${1:-} in
  --namespace-probe)
    register_qemu "$2"
    exit
    ;;
  --in-namespace)
    qemu=$2
    shift 2
    register_qemu "$qemu"
    # The prefixes' servers live in this namespace; ending them ends it.
    trap 'for p in "$PWD/$build"/wineprefix*/; do WINEPREFIX=${p%/} "${VANT_WINE_DIR:-/usr/lib/wine}/wineserver" -k 2>/dev/null || true; done' EXIT
    run_preset ON 4 "$@"
    exit
    ;;
esac

# Why the native route cannot run here (nothing when it can).
native_blocker() {
  if [[ ! -e $loader ]]; then
    echo "Debian's 32-bit Wine (wine32:i386) is not installed"
  elif [[ $("$loader" --version 2>/dev/null) != wine-* ]]; then
    echo "this kernel cannot start 32-bit programs"
  fi
}

# Why the qemu route cannot run here (nothing when it can).
qemu_blocker() {
  local qemu version probe
  if [[ ! -e $loader ]]; then
    echo "Debian's 32-bit Wine (wine32:i386) is not installed"
    return
  fi
  qemu=$(command -v qemu-i386) || {
    echo "qemu-i386 is not installed (qemu-user 10, from bookworm-backports)"
    return
  }
  version=$("$qemu" --version | sed -n 's/^qemu-i386 version \([0-9.]*\).*/\1/p')
  if [[ -z $version ]] || ((${version%%.*} < 10)); then
    echo "qemu-i386 is version $version (Wine's loader takes over a minute per start before 10)"
    return
  fi
  if ! probe=$(unshare --user --map-root-user --mount -- bash "$0" --namespace-probe "$qemu" 2>&1); then
    echo "no private namespace with its own binfmt_misc here (user namespaces and Linux 6.7 or later are needed): $(tail -n 1 <<<"$probe")"
  fi
}

route=${VANT_X86_ROUTE:-}
case $route in
  "")
    native=$(native_blocker)
    qemu=
    if [[ -n $native ]]; then qemu=$(qemu_blocker); fi
    if [[ -z $native ]]; then
      route=native
    elif [[ -z $qemu ]]; then
      route=qemu
    else
      route=files
      why=$native
      if [[ $qemu != "$native" ]]; then why+=", and $qemu"; fi
    fi
    ;;
  native | qemu)
    blocker=$("${route}_blocker")
    if [[ -n $blocker ]]; then
      echo "VANT_X86_ROUTE=$route cannot run here: $blocker" >&2
      exit 1
    fi
    ;;
  files) why="VANT_X86_ROUTE=files" ;;
  *)
    echo "VANT_X86_ROUTE must be native, qemu or files, not: $route" >&2
    exit 2
    ;;
esac

start=$SECONDS
status=0
case $route in
  native)
    run_preset ON 1 "$@" || status=$?
    summary="32-bit exe: Wine tests ran natively (this kernel starts 32-bit programs)"
    ;;
  qemu)
    qemu=$(command -v qemu-i386)
    unshare --user --map-root-user --mount -- bash "$0" --in-namespace "$qemu" "$@" || status=$?
    why="this kernel cannot start 32-bit programs"
    if [[ -z $(native_blocker) ]]; then why="VANT_X86_ROUTE=qemu"; fi
    summary="32-bit exe: Wine tests ran through $("$qemu" --version | head -n 1) in a private namespace ($why)"
    ;;
  files)
    echo "The 32-bit exe was NOT run: $why; only the checks of its files run."
    run_preset OFF 1 "$@" || status=$?
    summary="32-bit exe: NOT run ($why); only the checks of its files ran"
    ;;
esac
if ((status != 0)); then summary+=", FAILED"; fi
summary+=", $((SECONDS - start)) s"
mkdir -p "$build"
echo "$summary" >"$build/route.txt"
echo "$summary"
exit "$status"
