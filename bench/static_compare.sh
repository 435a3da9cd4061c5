#!/usr/bin/env bash
# The server's answers under load against a static web server sending the same bytes.
#
#   bench/static_compare.sh [ROUNDS] [SECONDS] [--server BINARY]
#
# Starts alloc-server (a new data folder, demo data) and nginx with its own configuration
# on loopback ports, signs in, fetches the answers of a small call (GetSequencial 12/01)
# and of the grid of demo budget 12/01 (GetAlocaForne), and writes those exact bytes as
# nginx's static files. Then wrk (2 threads, 32 keep-alive connections, the same POST
# with its token and body) drives each target in turn, alternated, ROUNDS (3) times
# SECONDS (8) each. The server's error answers under the load are read from its
# /metrics (every outcome but "ok"), wrk's non-2xx answers and socket errors from wrk.
# Prints each round, then one `figures:` line: medians and the ratios server ÷ nginx of
# calls a second, and nginx's CPU a call ÷ the server's (cpu_ratio: the same sense, higher
# is better for the server).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=3 seconds=8 server="$root/build/default/server/alloc-server"
positional=()
usage() { sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; }
while [ $# -gt 0 ]; do
  case "$1" in
    -h|--help) usage; exit 0 ;;
    --server) server=${2:?--server needs a binary}; shift 2 ;;
    -*) echo "static_compare.sh: unknown option '$1' (see --help)" >&2; exit 2 ;;
    *) positional+=("$1"); shift ;;
  esac
done
[ ${#positional[@]} -ge 1 ] && rounds=${positional[0]}
[ ${#positional[@]} -ge 2 ] && seconds=${positional[1]}
for n in "$rounds" "$seconds"; do
  [[ "$n" =~ ^[1-9][0-9]*$ ]] || { echo "static_compare.sh: ROUNDS and SECONDS are whole numbers above 0, not '$n'" >&2; exit 2; }
done
[ ${#positional[@]} -le 2 ] || { echo "static_compare.sh: at most ROUNDS and SECONDS (see --help)" >&2; exit 2; }

# shellcheck source=scripts/deps.sh
source "$root/scripts/deps.sh"
alloc_install_bench_deps
[ -x "$server" ] || { echo "no server binary at $server (scripts/build.sh default alloc-server)" >&2; exit 1; }

work=$(mktemp -d /tmp/static-compare.XXXXXX)
chmod 755 "$work"  # nginx's workers read its files as their own user
server_pid="" nginx_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

wait_for_file() {
  for _ in $(seq 1 200); do [ -s "$1" ] && return 0; sleep 0.05; done
  echo "timed out waiting for $1" >&2; return 1
}

# --- the server ---------------------------------------------------------------------
"$server" --port 0 --data "$work/data" --seed-demo --password-iterations 1000 --log-level warn \
  --ready-file "$work/server.port" >"$work/server.log" 2>&1 &
server_pid=$!
wait_for_file "$work/server.port"
server_port=$(cat "$work/server.port")
server_url="http://127.0.0.1:$server_port"

rpc() {  # rpc TOKEN BODY: prints the answer's body
  curl -sS --fail -H 'Content-Type: application/json' ${1:+-H "Authorization: Bearer $1"} -d "$2" "$server_url/rpc"
}
token=$(rpc "" '{"jsonrpc":"2.0","id":1,"method":"Auth.Login","params":["demo","demo"]}' | jq -er .result.token)

declare -A bodies=(
  [small]='{"jsonrpc":"2.0","id":1,"method":"EVT04700.rdmAloc.GetSequencial","params":["0000000012","01"]}'
  [grid]='{"jsonrpc":"2.0","id":1,"method":"EVT04700.rdmAloc.GetAlocaForne","params":["0001","0000000012","01"]}'
)
mkdir -p "$work/www"
for call in small grid; do
  rpc "$token" "${bodies[$call]}" >"$work/www/$call.json"
  if ! jq -e 'has("result")' "$work/www/$call.json" >/dev/null; then
    echo "the $call call did not answer a result: $(head -c 300 "$work/www/$call.json")" >&2; exit 1
  fi
  # wrk's request: the same POST, its token and body.
  cat >"$work/$call.lua" <<EOF
wrk.method = "POST"
wrk.body = [[${bodies[$call]}]]
wrk.headers["Content-Type"] = "application/json"
wrk.headers["Authorization"] = "Bearer $token"
EOF
done

# --- nginx: the same bytes as static files, for the same POST ------------------------
nginx_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mkdir -p "$work/nginx"
cat >"$work/nginx/nginx.conf" <<EOF
worker_processes auto;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log warn;
events { worker_connections 1024; }
http {
  types { application/json json; }
  access_log off;
  keepalive_requests 10000;
  client_body_temp_path $work/nginx/body;
  server {
    listen 127.0.0.1:$nginx_port;
    root $work/www;
    # A static file refuses POST (405); the error page is the file itself, answered 200.
    location / { error_page 405 =200 \$uri; }
  }
}
EOF
nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" &
nginx_pid=$!
for _ in $(seq 1 100); do curl -s -o /dev/null "http://127.0.0.1:$nginx_port/small.json" && break; sleep 0.05; done
for call in small grid; do
  curl -sS --fail -X POST -d "${bodies[$call]}" "http://127.0.0.1:$nginx_port/$call.json" -o "$work/$call.nginx"
  cmp -s "$work/$call.nginx" "$work/www/$call.json" || { echo "nginx does not answer the same bytes for $call" >&2; exit 1; }
done

# Calls answered with anything but "ok", by the server's own counters.
error_answers() {
  curl -sS "$server_url/metrics" |
    awk '/^alloc_rpc_calls_total\{/ && !/outcome="ok"/ { sum += $NF } END { print sum + 0 }'
}

# CPU time (user and system, clock ticks) the processes named have used so far.
cpu_ticks() {
  local pid total=0
  for pid in "$@"; do total=$((total + $(awk '{ print $14 + $15 }' "/proc/$pid/stat"))); done
  echo "$total"
}
ticks_per_second=$(getconf CLK_TCK)

# drive TARGET CALL: prints "requests/s non_2xx socket_errors server_error_answers cpu_us_per_call".
# The CPU a call costs the target (the server's process; nginx's workers) is the figure
# that holds when other work takes the cores: calls a second then measure the machine.
drive() {
  local url before out pids
  if [ "$1" = server ]; then
    url="$server_url/rpc" pids=("$server_pid")
  else
    url="http://127.0.0.1:$nginx_port/$2.json"
    mapfile -t pids < <(pgrep -P "$nginx_pid")
  fi
  before=$(error_answers)
  local cpu_before
  cpu_before=$(cpu_ticks "${pids[@]}")
  out=$(wrk -t2 -c32 -d"${seconds}s" -s "$work/$2.lua" "$url")
  local cpu=$(($(cpu_ticks "${pids[@]}") - cpu_before))
  local rps non2xx sockerr calls
  rps=$(awk '/^Requests\/sec:/ { print $2 }' <<<"$out")
  calls=$(awk '/requests in/ { print $1 }' <<<"$out")
  non2xx=$(awk '/Non-2xx or 3xx responses:/ { print $NF }' <<<"$out")
  sockerr=$(awk -F'[ ,]+' '/Socket errors:/ { print $4 + $6 + $8 + $10 }' <<<"$out")
  echo "$rps ${non2xx:-0} ${sockerr:-0} $(($(error_answers) - before))" \
    "$(awk -v t="$cpu" -v hz="$ticks_per_second" -v n="$calls" 'BEGIN { printf "%.1f", t / hz * 1e6 / n }')"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "alloc-server on $server_port, nginx on $nginx_port; $rounds rounds of ${seconds} s;" \
  "answers: small $(wc -c <"$work/www/small.json") B, grid $(wc -c <"$work/www/grid.json") B; load: $(cut -d' ' -f1-3 /proc/loadavg)"
declare -A results errors cpu_costs
for round in $(seq 1 "$rounds"); do
  # Alternated, and the order flipped every round.
  order=(server nginx); [ $((round % 2)) -eq 0 ] && order=(nginx server)
  for call in small grid; do
    for target in "${order[@]}"; do
      read -r rps non2xx sockerr served_errors cpu_us < <(drive "$target" "$call")
      results[$target.$call]+="$rps "
      cpu_costs[$target.$call]+="$cpu_us "
      [ "$target" = server ] || served_errors=0  # nginx keeps no count of its own
      errors[$target.$call]=$((${errors[$target.$call]:-0} + non2xx + sockerr + served_errors))
      printf 'round %d  %-6s %-5s %10.0f requests/s  %6s CPU µs a call  non-2xx %s  socket errors %s%s\n' "$round" \
        "$target" "$call" "$rps" "$cpu_us" "$non2xx" "$sockerr" \
        "$([ "$target" = server ] && echo "  error answers $served_errors")"
    done
  done
done

line="figures:"
for call in small grid; do
  ours=$(tr ' ' '\n' <<<"${results[server.$call]}" | grep . | median)
  theirs=$(tr ' ' '\n' <<<"${results[nginx.$call]}" | grep . | median)
  # Each round's own ratio too: the rounds are alternated, the ratio of a round compares.
  read -ra a <<<"${results[server.$call]}"; read -ra b <<<"${results[nginx.$call]}"
  per_round=()
  for i in "${!a[@]}"; do per_round+=("$(awk -v x="${a[$i]}" -v y="${b[$i]}" 'BEGIN { printf "%.3f", x / y }')"); done
  ratio=$(printf '%s\n' "${per_round[@]}" | median)
  line+=" $call.server_rps=$ours $call.nginx_rps=$theirs $call.ratio=$ratio"
  line+=" $call.ratio_rounds=$(IFS=,; echo "${per_round[*]}") $call.server_errors=${errors[server.$call]}"
  line+=" $call.nginx_errors=${errors[nginx.$call]}"
  ours_cpu=$(tr ' ' '\n' <<<"${cpu_costs[server.$call]}" | grep . | median)
  theirs_cpu=$(tr ' ' '\n' <<<"${cpu_costs[nginx.$call]}" | grep . | median)
  line+=" $call.server_cpu_us=$ours_cpu $call.nginx_cpu_us=$theirs_cpu"
  line+=" $call.cpu_ratio=$(awk -v x="$theirs_cpu" -v y="$ours_cpu" 'BEGIN { printf "%.3f", x / y }')"
done
echo "load at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "$line"
