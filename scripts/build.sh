#!/usr/bin/env bash
# Configures (once) and builds one CMake preset. A second run only rebuilds what changed.
set -euo pipefail
preset=${1:-default}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ ! -f "build/$preset/build.ninja" ]; then
  cmake --preset "$preset" >/dev/null
fi
cmake --build --preset "$preset"
