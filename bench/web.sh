#!/usr/bin/env bash
# Fan-out through the web gateway beside plain TCP, in the same run, and the
# gateway's memory per browser user. Starts the server (bench/benchhost,
# headless) and sohbet-web inside a private network namespace, so the fixed
# ports are this run's own; then USERS browser users (one process) and USERS
# direct clients (another) take part while a third sends ROUNDS lines, one a
# second. Each group reports its own p50 and p99. Loopback only; every process
# stops by itself or at the end. Needs root (unshare), like run.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
USERS=${USERS:-500}
ROUNDS=${ROUNDS:-50}
BUILD=${BUILD:-build}

cmake --build "$BUILD" -j2 --target benchhost sohbet-web bench_webfanout >/dev/null

exec unshare -n bash -c '
set -euo pipefail
ip link set lo up
ulimit -n "$(ulimit -Hn)"
bin=$0 users=$1 rounds=$2 out=$(mktemp -d)
QT_QPA_PLATFORM=offscreen "$bin/bench/benchhost" 900 >/dev/null 2>&1 &
host=$!
"$bin/web/sohbet-web" --port 8080 >/dev/null &
gateway=$!
trap "kill \$(jobs -p) 2>/dev/null || true; rm -rf $out" EXIT
for _ in $(seq 100); do
    (exec 3<>/dev/tcp/127.0.0.1/10420) 2>/dev/null && (exec 3<>/dev/tcp/127.0.0.1/8080) 2>/dev/null && break
    sleep 0.1
done
waitready() { for _ in $(seq 3000); do grep -q ^ready "$1" && return 0; sleep 0.1; done; return 1; }
timeout 900 "$bin/bench/bench_webfanout" --role web --users "$users" --rounds "$rounds" \
    --gateway-pid "$gateway" > "$out/web" &
web=$!
waitready "$out/web"
timeout 900 "$bin/bench/bench_webfanout" --role tcp --users "$users" --rounds "$rounds" > "$out/tcp" &
tcp=$!
waitready "$out/tcp"
timeout 900 "$bin/bench/bench_webfanout" --role send --rounds "$rounds"
wait $web $tcp || true
grep -hv ^ready "$out/web" "$out/tcp"
' "$PWD/$BUILD" "$USERS" "$ROUNDS"
