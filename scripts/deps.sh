#!/usr/bin/env bash
# Installs the Debian packages the project needs, once. Sourced by ./run and ./test.
# As root: one `apt-get update`, then a non-interactive install of what is missing.
# Otherwise: a clear message naming the missing packages, and a non-zero exit.
set -euo pipefail

ALLOC_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  nlohmann-json3-dev libcpp-httplib-dev libsqlite3-dev libpq-dev
  libspdlog-dev libcli11-dev libssl-dev libboost1.81-dev openssl
  libgtest-dev libgmock-dev libbenchmark-dev libsimdjson-dev
  clang libclang-rt-14-dev clang-tidy clang-format
  postgresql sqlite3
  qt6-base-dev xvfb x11vnc
  poppler-utils sslscan lintian
)

# The benchmarks' own tools, installed only by the scripts that run benchmarks
# (bench/static_compare.sh), never by ./test or ./run: a web server serving the same
# answer bytes as a static file, an HTTP load generator, and the profiler.
ALLOC_BENCH_PACKAGES=(nginx wrk linux-perf)

# The packages of the list named by $1 (default: ALLOC_PACKAGES) that are not installed.
alloc_missing_packages() {
  local -n wanted=${1:-ALLOC_PACKAGES}
  local missing=() p
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  echo "${missing[@]:-}"
}

# Installs what is missing of the list named by $1 (default: ALLOC_PACKAGES).
alloc_install_deps() {
  local missing
  missing=$(alloc_missing_packages "${1:-ALLOC_PACKAGES}")
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages: $missing" >&2
    echo "Install them as root:  apt-get install $missing" >&2
    return 1
  fi
  echo "Installing Debian packages: $missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends $missing >/dev/null
}

alloc_install_bench_deps() { alloc_install_deps ALLOC_BENCH_PACKAGES; }
