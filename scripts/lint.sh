#!/usr/bin/env bash
# Runs clang-tidy (the checks of .clang-tidy, warnings as errors) with the compile
# commands of the default build, two files at a time.
#   scripts/lint.sh [base]   the C++ sources changed against a base revision (main when
#                            not given): what a branch adds
#   scripts/lint.sh --all    every C++ source of the tree (what ./test runs)
# bench/ and fuzz/ are left out: they are built by other presets. Exits non-zero when
# clang-tidy reports anything. Needs a configured default build (scripts/build.sh
# default) for build/default/compile_commands.json.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
tidy=$(command -v clang-tidy || command -v clang-tidy-14 || true)
if [ -z "$tidy" ]; then
  echo "scripts/lint.sh: clang-tidy is not installed (scripts/deps.sh installs it)" >&2
  exit 2
fi
if [ ! -f build/default/compile_commands.json ]; then
  echo "scripts/lint.sh: no build/default/compile_commands.json; run scripts/build.sh default first" >&2
  exit 2
fi
if [ "${1:-}" = "--all" ]; then
  mapfile -t files < <(git ls-files '*.cpp' | grep -vE '^(bench|fuzz)/' || true)
else
  base=${1:-main}
  mapfile -t files < <(git diff --name-only --diff-filter=AMR "$(git merge-base "$base" HEAD)" -- '*.cpp' |
                       grep -vE '^(bench|fuzz)/' || true)
fi
if [ ${#files[@]} -eq 0 ]; then
  echo "scripts/lint.sh: no C++ sources to check"
  exit 0
fi
echo "clang-tidy on ${#files[@]} file(s)"
# The build is GCC's: clang does not know some of its warning options (-Wno-restrict).
# clang-tidy's count of the warnings it suppressed (outside the tree) is noise here.
set +e
printf '%s\n' "${files[@]}" |
  xargs -P2 -n4 "$tidy" -p build/default --quiet --extra-arg=-Wno-unknown-warning-option 2>&1 |
  grep -vE '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$|^Suppressed [0-9]+ warnings|^Use -header-filter'
status=${PIPESTATUS[1]}
set -e
if [ "$status" -eq 0 ]; then
  echo "clang-tidy: nothing to report"
else
  echo "clang-tidy: the findings above fail the check" >&2
fi
exit "$status"
