#!/usr/bin/env bash
# Makes the Debian packages alloc-server and alloc-desktop from the default build and
# checks them with lintian (no error allowed; the warnings left are explained in
# docs/server-program.md, "Packages").
#   scripts/package.sh [--no-build] [OUTDIR]   packages into OUTDIR (build/packages)
# --no-build: package what build/default holds (the package test runs it so).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=1
if [ "${1:-}" = "--no-build" ]; then build=0; shift; fi
out=${1:-$root/build/packages}
if [ "$build" -eq 1 ]; then
  source scripts/deps.sh
  alloc_install_deps
  scripts/build.sh default
fi
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/*.deb
staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
(cd build/default && cpack -G DEB -B "$staging" >"$staging/cpack.log" 2>&1) || { cat "$staging/cpack.log" >&2; exit 1; }
mv "$staging"/*.deb "$out"/
set +e
report=$(lintian --fail-on error "$out"/*.deb 2>&1)
status=$?
set -e
# As root lintian says so once; that line is not about the packages.
printf '%s\n' "$report" | grep -v 'running with root privileges' || true
[ "$status" -eq 0 ] || { echo "scripts/package.sh: lintian found errors" >&2; exit 1; }
ls "$out"/*.deb
