#!/usr/bin/env bash
# Formats every C++ file git tracks with .clang-format, using Debian's
# clang-format (the version scripts/setup.sh installs: a different version
# may format a few constructs differently).
#   scripts/format.sh           rewrite the files in place
#   scripts/format.sh --check   change nothing; list the files that differ
#                               and exit 1 if any does
set -euo pipefail
cd "$(dirname "$0")/.."

clang_format=${CLANG_FORMAT:-clang-format}
mapfile -t files < <(git ls-files '*.cpp' '*.h')

if [[ ${1:-} == --check ]]; then
  echo "$("$clang_format" --version)"
  unformatted=()
  for file in "${files[@]}"; do
    if ! "$clang_format" --style=file "$file" | cmp -s - "$file"; then
      unformatted+=("$file")
    fi
  done
  if ((${#unformatted[@]} > 0)); then
    printf 'not formatted: %s\n' "${unformatted[@]}"
    echo "run scripts/format.sh to format them"
    exit 1
  fi
  echo "all ${#files[@]} C++ files are formatted"
else
  "$clang_format" --style=file -i "${files[@]}"
fi
