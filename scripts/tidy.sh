#!/usr/bin/env bash
# Runs clang-tidy (the checks of .clang-tidy) over every source file in src/, each finding an
# error, with the compile commands of a build that has been built: the widgets need the files
# Qt's moc generates. Prints the findings of each file that has any; exit status 1 if any has.
# Usage: bash scripts/tidy.sh [BUILD-DIR]   (default: build, the default preset's)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
if [ ! -f "$build/compile_commands.json" ]; then
  echo "tidy.sh: no $build/compile_commands.json; configure and build first" >&2
  exit 2
fi
# The compile commands may be GCC's: clang does not know all of its warning options, and the
# compiler's own warnings (-Werror) are the build's business, not tidy's.
tidy_one() {
  local out
  if ! out="$(clang-tidy -p "$1" --quiet --warnings-as-errors='*' \
      --extra-arg=-Wno-unknown-warning-option --extra-arg=-Wno-error "$2" 2>&1)"; then
    printf '%s\n' "$out"
    return 1
  fi
}
export -f tidy_one
find "$root/src" -name '*.cpp' -print0 | sort -z |
  xargs -0 -P"$(nproc)" -I{} bash -c 'tidy_one "$0" "$1"' "$build" {} || {
  echo "tidy.sh: clang-tidy has findings (above)" >&2
  exit 1
}
