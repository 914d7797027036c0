#!/usr/bin/env bash
# Fan-out through the web gateway beside plain TCP, in the same run, and the
# gateway's memory per browser user. Starts the server (bench/benchhost,
# headless) and sohbet-web inside a private network namespace, so the fixed
# ports are this run's own, and loads them with bench/bench_webfanout: USERS
# browser users and USERS direct clients, ROUNDS lines. Loopback only; every
# process stops by itself or at the end. Needs root (unshare), like run.sh.
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
QT_QPA_PLATFORM=offscreen "$0/bench/benchhost" 600 >/dev/null 2>&1 &
host=$!
"$0/web/sohbet-web" --port 8080 >/dev/null &
gateway=$!
trap "kill $gateway $host 2>/dev/null || true" EXIT
for _ in $(seq 100); do
    (exec 3<>/dev/tcp/127.0.0.1/10420) 2>/dev/null && (exec 3<>/dev/tcp/127.0.0.1/8080) 2>/dev/null && break
    sleep 0.1
done
timeout 600 "$0/bench/bench_webfanout" --users "$1" --rounds "$2" --gateway-pid "$gateway"
' "$PWD/$BUILD" "$USERS" "$ROUNDS"
