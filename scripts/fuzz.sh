#!/usr/bin/env bash
# Builds the fuzz preset and runs the libFuzzer targets one after the other,
# each for a bounded time. Any finding (a failed property, a sanitizer
# report, a crash, a hang, a leak) fails the run; the input that shows it is
# kept and its path printed.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#       A longer local run, 300 s per target unless given. Each target's
#       corpus grows in build/fuzz/corpus/<target> (the committed seeds in
#       fuzz/corpus/<target> are read, never written); findings go to
#       build/fuzz/findings/<date-time>/.
#   scripts/fuzz.sh --check [SECONDS] [TARGET...]
#       What the tests run: every target for 20 s unless given, starting from
#       a scratch copy of the committed seeds, so nothing in the tree changes;
#       an input that shows a finding is copied to build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

check=0
if [[ ${1:-} == --check ]]; then
  check=1
  shift
fi
seconds=$((check ? 20 : 300))
if [[ ${1:-} =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
if ((seconds == 0)) || [[ ${1:-} == -* ]]; then
  echo "usage: scripts/fuzz.sh [--check] [SECONDS] [TARGET...]" >&2
  exit 2
fi

bash scripts/setup.sh
cmake --preset fuzz
cmake --build --preset fuzz

bin=$PWD/build/fuzz/fuzzers
if (($# > 0)); then
  targets=("$@")
else
  mapfile -t targets <"$bin/targets.txt"
fi

if ((check)); then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  findings=$work/findings
else
  work=$PWD/build/fuzz
  findings=$work/findings/$(date +%Y%m%d-%H%M%S)
fi
mkdir -p "$findings"

# Stack traces with file and line; every sanitizer report ends the run.
if symbolizer=$(command -v llvm-symbolizer-16 || command -v llvm-symbolizer); then
  export ASAN_SYMBOLIZER_PATH=$symbolizer
fi
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=()
for target in "${targets[@]}"; do
  if [[ ! -x $bin/$target ]]; then
    echo "no such fuzz target: $target" >&2
    exit 2
  fi
  corpus=$work/corpus/$target
  mkdir -p "$corpus"
  seeds=()
  if ((check)); then
    cp -R "fuzz/corpus/$target/." "$corpus/"
  else
    seeds=("$PWD/fuzz/corpus/$target")
  fi
  log=$work/$target.log
  echo "==> $target: $seconds s"
  status=0
  "$bin/$target" "$corpus" "${seeds[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$findings/$target-" -print_final_stats=1 >"$log" 2>&1 || status=$?
  found=$(find "$findings" -maxdepth 1 -name "$target-*" | head -n 1)
  if ((status != 0)) || [[ -n $found ]]; then
    tail -n 60 "$log" >&2
    if ((check)) && [[ -n $found ]]; then
      # The scratch folder goes; the input that shows the finding stays.
      mkdir -p build/fuzz/findings
      cp "$found" build/fuzz/findings/
      found=$PWD/build/fuzz/findings/$(basename "$found")
    fi
    echo "FAILED: $target (exit status $status)${found:+, input kept in $found}" >&2
    failed+=("$target")
  else
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "    ok: ${runs:-?} inputs, corpus of $(find "$corpus" -type f | wc -l)"
  fi
done

# A local run that found nothing leaves no empty findings folder behind.
rmdir "$findings" 2>/dev/null || true
if ((${#failed[@]} > 0)); then
  echo "Fuzzing found problems in: ${failed[*]}" >&2
  exit 1
fi
echo "Fuzzing: no finding in ${#targets[@]} target(s), ${seconds} s each."
