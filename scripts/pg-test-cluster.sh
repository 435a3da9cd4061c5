#!/usr/bin/env bash
# Starts a private, throw-away PostgreSQL cluster for the test suite and prints the
# libpq connection string on stdout. Prints nothing (and exits 0) when PostgreSQL's
# server binaries are not installed: the PostgreSQL tests then skip with a reason.
#   scripts/pg-test-cluster.sh start   -> prints "host=... port=... user=... dbname=..."
#   scripts/pg-test-cluster.sh stop
# The test cluster runs with fsync off (the suite's commits need not survive a power
# cut). With ALLOC_PG_DURABLE=1 the same commands start and stop a second cluster with
# PostgreSQL's durable defaults (fsync and synchronous_commit on), for measuring saves as
# a site would run them (bench/server_bench --postgres).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Under /tmp, not the checkout: the server runs as the postgres user when we are root,
# and a checkout inside a private home folder would be out of its reach.
dir="${TMPDIR:-/tmp}/alloc-pg-test-$(printf '%s' "$root" | cksum | cut -d' ' -f1)"
durability="-c fsync=off"
default_port=55432
if [ "${ALLOC_PG_DURABLE:-0}" = 1 ]; then
  dir="$dir-durable"
  durability=""
  default_port=55433
fi
bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
[ -n "$bindir" ] && [ -x "$bindir/initdb" ] || exit 0

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
owner=$(id -un); [ "$(id -u)" -eq 0 ] && owner=postgres

case "${1:-start}" in
  start)
    port=${ALLOC_PG_PORT:-$default_port}
    if [ ! -f "$dir/data/PG_VERSION" ]; then
      mkdir -p "$dir"
      [ "$(id -u)" -eq 0 ] && chown postgres "$dir"
      as_owner "$bindir/initdb" -D "$dir/data" -A trust -U "$owner" -E UTF8 >"$dir/initdb.log" 2>&1
    fi
    if ! as_owner "$bindir/pg_ctl" -D "$dir/data" status >/dev/null 2>&1; then
      as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
        -o "-p $port -k $dir -c listen_addresses='' $durability" start >/dev/null
    else
      # Already running, maybe started on another port: say the port it listens on
      # (the fourth line of postmaster.pid).
      port=$(sed -n 4p "$dir/data/postmaster.pid")
    fi
    echo "host=$dir port=$port user=$owner dbname=postgres"
    ;;
  stop)
    [ -f "$dir/data/PG_VERSION" ] && as_owner "$bindir/pg_ctl" -D "$dir/data" -m fast stop >/dev/null 2>&1 || true
    ;;
esac
