#!/usr/bin/env bash
# The Debian packages as a site gets them: made by scripts/package.sh from the built tree
# (lintian must accept them), unpacked with dpkg-deb -x, and the unpacked programs run
# from there: the server with the packaged configuration file, the report tool against
# it, and the desktop loading the unpacked module library.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill -9 "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "package test: $*" >&2; exit 1; }

"$root/scripts/package.sh" --no-build "$work/debs"
server_deb=$(ls "$work"/debs/alloc-server_*.deb)
desktop_deb=$(ls "$work"/debs/alloc-desktop_*.deb)
for deb in "$server_deb" "$desktop_deb"; do dpkg-deb -x "$deb" "$work/root"; done
unpacked=$work/root

for file in usr/bin/alloc-server lib/systemd/system/alloc-server.service etc/alloc-server/alloc-server.conf \
            usr/bin/alloc-desktop usr/bin/alloc-report usr/lib/alloc-desktop/module/libPkg_EVT04700.so \
            usr/lib/alloc-desktop/module/libPkg_EVT04700.so.en usr/share/applications/alloc-desktop.desktop; do
  [ -e "$unpacked/$file" ] || fail "$file is not in the packages"
done
dpkg-deb -I "$server_deb" conffiles | grep -qx /etc/alloc-server/alloc-server.conf || fail "the configuration is no conffile"
dpkg-deb -f "$server_deb" Depends | grep -q adduser || fail "alloc-server does not depend on adduser"
unit=$unpacked/lib/systemd/system/alloc-server.service
for line in User=alloc-server Restart=on-failure NoNewPrivileges=yes ProtectSystem=strict PrivateTmp=yes \
            ReadWritePaths=/var/lib/alloc-server StateDirectory=alloc-server; do
  grep -qx "$line" "$unit" || fail "the unit lacks $line"
done

# The unpacked server, with the packaged configuration file; the data folder and port
# given on the command line win over it.
"$unpacked/usr/bin/alloc-server" --config "$unpacked/etc/alloc-server/alloc-server.conf" --data "$work/data" \
  --port 0 --seed-demo --password-iterations 1000 --ready-file "$work/ready" >"$work/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 1 200); do
  [ -s "$work/ready" ] && break
  kill -0 "$server_pid" 2>/dev/null || { cat "$work/server.log" >&2; fail "the unpacked server did not start"; }
  sleep 0.1
done
[ -s "$work/ready" ] || fail "the unpacked server did not listen within 20 s"
port=$(cat "$work/ready")

# The unpacked report tool writes the report.
ALLOC_PASSWORD=demo QT_QPA_PLATFORM=offscreen \
  "$unpacked/usr/bin/alloc-report" --server 127.0.0.1 --port "$port" --operator demo --branch 0001 --budget 12 \
  --pdf "$work/report.pdf" >"$work/report.log" 2>&1 || { tail -20 "$work/report.log" >&2; fail "alloc-report failed"; }
[ "$(head -c 5 "$work/report.pdf")" = "%PDF-" ] || fail "the report is not a PDF"
pdftotext "$work/report.pdf" - | grep -q "0000000012" || fail "the report does not show budget 12"

# The unpacked desktop signs in, loads the budget on its screen and takes a picture of
# it; the module library it loads must be the unpacked one.
ALLOC_PASSWORD=demo QT_QPA_PLATFORM=offscreen LD_DEBUG=files \
  "$unpacked/usr/bin/alloc-desktop" --server 127.0.0.1 --port "$port" --operator demo --branch 0001 \
  --budget 12 --sequence 01 --screenshot "$work/screen.png" 2>"$work/desktop.log" ||
  { grep -v '^ *[0-9]*:' "$work/desktop.log" | tail -20 >&2; fail "alloc-desktop failed"; }
grep -q "file=$unpacked/usr/lib/alloc-desktop/module/libPkg_EVT04700.so " "$work/desktop.log" ||
  fail "alloc-desktop did not load the unpacked module library"
[ -s "$work/screen.png" ] || fail "alloc-desktop wrote no picture"

kill -TERM "$server_pid"
status=0
wait "$server_pid" || status=$?
server_pid=""
[ "$status" -eq 0 ] || { cat "$work/server.log" >&2; fail "the unpacked server stopped with $status"; }
echo "package test: packages accepted by lintian; the unpacked server, report tool and desktop ran"
