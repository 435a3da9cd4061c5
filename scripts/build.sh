#!/usr/bin/env bash
# Configures (once) and builds one CMake preset; a second run only rebuilds what
# changed. Further arguments name the targets to build (all when none).
#   scripts/build.sh [preset] [target ...]
set -euo pipefail
preset=${1:-default}
shift || true
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ ! -f "build/$preset/build.ninja" ]; then
  cmake --preset "$preset" >/dev/null
fi
if [ $# -gt 0 ]; then
  cmake --build --preset "$preset" --target "$@"
else
  cmake --build --preset "$preset"
fi
