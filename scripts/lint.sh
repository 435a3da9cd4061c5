#!/usr/bin/env bash
# Runs clang-tidy (the checks of .clang-tidy, warnings as errors) on the C++ sources
# changed against a base revision, with the compile commands of the default build.
#   scripts/lint.sh [base]      base: a revision, main when not given
# Exits non-zero when clang-tidy reports anything. Needs a configured default build
# (scripts/build.sh default) for build/default/compile_commands.json.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
base=${1:-main}
tidy=$(command -v clang-tidy || command -v clang-tidy-14 || true)
if [ -z "$tidy" ]; then
  echo "scripts/lint.sh: clang-tidy is not installed (scripts/deps.sh installs it)" >&2
  exit 2
fi
if [ ! -f build/default/compile_commands.json ]; then
  echo "scripts/lint.sh: no build/default/compile_commands.json; run scripts/build.sh default first" >&2
  exit 2
fi
mapfile -t files < <(git diff --name-only --diff-filter=AMR "$(git merge-base "$base" HEAD)" -- '*.cpp' |
                     grep -vE '^(bench|fuzz)/' || true)
if [ ${#files[@]} -eq 0 ]; then
  echo "scripts/lint.sh: no changed C++ sources against $base"
  exit 0
fi
echo "clang-tidy on ${#files[@]} changed file(s)"
# The build is GCC's: clang does not know some of its warning options (-Wno-restrict).
"$tidy" -p build/default --quiet --extra-arg=-Wno-unknown-warning-option "${files[@]}"
