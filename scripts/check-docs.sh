#!/usr/bin/env bash
# Checks that README.md, CONTRIBUTING.md and docs/*.md name only what the
# repository has. Exits 1 with one line per stale name.
#
# 1. Every repository path they name exists. A name in backticks (no spaces)
#    is a repository path when its first part is a top-level entry of the
#    repository (src/, scripts/, CMakeLists.txt, ...) or a layer folder of
#    src/ (console/output.cpp means src/console/output.cpp). Anything else is
#    a build output or external and is not checked: build/..., dist/...,
#    /usr/..., and names with a placeholder (<name>, …, *). A bare file name
#    with a source extension (driver.cpp, sign.sh) must be a tracked file's
#    name somewhere in the tree.
# 2. Every link to a repository file ([text](docs/release.md#size)) names a
#    file that exists, and a heading of it when it has an anchor.
# 3. In CONTRIBUTING.md's "Where does it live" table, every file of a row
#    exists (a bare name is in the folder of the row's first path), and every
#    name in its last column is defined in one of the row's files: a line that
#    starts at column 0 and holds the name (a definition or declaration; calls
#    and comments are indented). Names with "…" are not checked; a name with
#    a file extension is a file in the row's first folder.
set -euo pipefail
export LC_ALL=C.UTF-8
cd "$(dirname "$0")/.."

docs=(README.md CONTRIBUTING.md docs/*.md)
failures=0
fail() {
  echo "$1: $2" >&2
  failures=$((failures + 1))
}

mapfile -t tracked < <(git ls-files)
declare -A top_level=() basenames=()
for file in "${tracked[@]}"; do
  top_level[${file%%/*}]=1
  basenames[${file##*/}]=1
done
declare -A layers=()
for dir in src/*/; do
  dir=${dir#src/}
  layers[${dir%/}]=1
done

# The path a name stands for, or nothing when it is not checked.
repository_path() {
  local name=$1 first
  case $name in
    *'<'* | *'>'* | *'…'* | *'*'* | *'$'* | *'\'* | *'='* | *:* | -* | /* | '~'* | .) return ;;
  esac
  if [[ $name == */* ]]; then
    first=${name%%/*}
    if [[ -n ${top_level[$first]:-} ]]; then
      echo "$name"
    elif [[ -n ${layers[$first]:-} ]]; then
      echo "src/$name"
    fi
  elif [[ -n ${top_level[$name]:-} ]]; then
    echo "$name"
  fi
}

# GitHub's anchor of a heading: lower case, punctuation dropped, spaces as
# hyphens. Example: "## The hold: from curl's exit to the start" ->
# the-hold-from-curls-exit-to-the-start
anchors_of() {
  grep -E '^#{1,6} ' "$1" | sed -E 's/^#+ +//' | tr '[:upper:]' '[:lower:]' |
    sed -E 's/[^[:alnum:]_ -]//g; s/ /-/g'
}

# 1. Paths and file names in backticks.
for doc in "${docs[@]}"; do
  while IFS= read -r name; do
    path=$(repository_path "$name")
    if [[ -n $path ]]; then
      [[ -e $path ]] || fail "$doc" "no such path: $name"
    elif [[ $name != */* && $name =~ \.(cpp|h|sh|cmake|py|md|json|in)$ ]]; then
      [[ -n ${basenames[$name]:-} ]] || fail "$doc" "no such file: $name"
    fi
  done < <(grep -oE '`[^` ]+`' "$doc" | tr -d '`' | sort -u)
done

# 2. Links to files of the repository, with their anchors.
for doc in "${docs[@]}"; do
  while IFS= read -r target; do
    case $target in http:* | https:* | mailto:*) continue ;; esac
    file=${target%%#*}
    anchor=
    [[ $target == *'#'* ]] && anchor=${target#*#}
    if [[ -z $file ]]; then
      file=$doc
    else
      file=$(realpath -m --relative-to=. "$(dirname "$doc")/$file")
    fi
    if [[ ! -e $file ]]; then
      fail "$doc" "link to a missing file: $target"
    elif [[ -n $anchor && $file == *.md ]] && ! anchors_of "$file" | grep -qxF -- "$anchor"; then
      fail "$doc" "link to a missing heading: $target"
    fi
  done < <(grep -oE '\]\([^) ]+\)' "$doc" | sed -E 's/^\]\(//; s/\)$//' | sort -u)
done

# 3. The "Where does it live" table.
in_table=0
while IFS= read -r line; do
  if [[ $line == '## Where does it live' ]]; then
    in_table=1
    continue
  fi
  ((in_table)) || continue
  [[ $line == '## '* ]] && break
  [[ $line == '|'* && $line != '|---'* && $line != '| behaviour |'* ]] || continue
  IFS='|' read -r _ behaviour file_cell name_cell _ <<<"$line"
  mapfile -t row_files < <(grep -oE '`[^`]+`' <<<"$file_cell" | tr -d '`')
  folder=
  files=()
  for file in "${row_files[@]}"; do
    if [[ $file == */* ]]; then
      folder=${file%/*}
      [[ $file == */ ]] && folder=${file%/}
    elif [[ -n $folder ]]; then
      file=$folder/$file
    fi
    [[ -e $file ]] || fail CONTRIBUTING.md "where does it live: no such file $file (${behaviour# })"
    [[ -f $file ]] && files+=("$file")
  done
  while IFS= read -r name; do
    [[ $name == *'…'* || $name == *' '* ]] && continue
    if [[ $name =~ \.(cpp|h|sh|cmake)$ ]]; then
      [[ -e $folder/$name ]] || fail CONTRIBUTING.md "where does it live: no such file $folder/$name"
    elif ((${#files[@]} == 0)) || ! grep -qE "^[^[:space:]/#*].*(^|[^[:alnum:]_])${name}([^[:alnum:]_]|$)" "${files[@]}"; then
      fail CONTRIBUTING.md "where does it live: $name is not defined in ${files[*]:-its files}"
    fi
  done < <(grep -oE '`[^`]+`' <<<"$name_cell" | tr -d '`')
done <CONTRIBUTING.md

if ((failures > 0)); then
  echo "check-docs: $failures stale name(s) in README.md, CONTRIBUTING.md or docs/" >&2
  exit 1
fi
echo "check-docs: every path, link and place named in README.md, CONTRIBUTING.md and docs/ exists"
