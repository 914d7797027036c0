#!/usr/bin/env bash
# Fan-out latency of our server beside ngIRCd and InspIRCd, on loopback only.
#
# For every N in SIZES and every run, each server is started fresh, loaded by
# tools/loadtool (N clients arrive, then ROUNDS rounds: one client sends a
# 64-byte line and the round ends when every other client has it), and
# stopped. Medians of RUNS runs go into a table (ratios ours / best IRC
# server), bench/results.md and bench/latency.png.
#
# Our server is run by bench/benchhost (the operator window, headless, Start
# pressed). It is skipped, with a line saying why, when the host did not build
# or the chat ports do not listen. Its clients take the whole road of a client
# (all four channels); OURS_CHANNELS=message measures the message fan-out alone.
#
# Needs root or sudo for apt-get. Not run in CI. Bounded: each load run stops
# after RUN_LIMIT seconds, and once the script has used BUDGET seconds the
# remaining runs are skipped.
#
# BURST=1: every client connects at once (a lab when the bell rings) and the
# figure to read is setup s, the time until all are in; the table goes to
# bench/results-burst.md and no chart is drawn.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

SIZES=${SIZES:-"10 100 1000"}
RUNS=${RUNS:-3}
ROUNDS=${ROUNDS:-200}
LINE_BYTES=64
RUN_LIMIT=${RUN_LIMIT:-120}
BUDGET=${BUDGET:-1020}
OURS_CHANNELS=${OURS_CHANNELS:-message,roster,join,leave}
BURST=${BURST:-0}
CHAT_PORTS=(10420 4201 10082 10081)
servers=(ngircd inspircd ours)
started=$SECONDS

# --- what is needed -------------------------------------------------------
bash tools/setup-debian.sh ngircd inspircd gnuplot-nox jq

build=$root/build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSOHBET_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target loadtool
loadtool=$build/tools/loadtool/loadtool
benchhost=$build/bench/benchhost
if ! cmake --build "$build" -j2 --target benchhost >"$build/benchhost-build.log" 2>&1; then
    echo "benchhost did not build (see $build/benchhost-build.log)"
    rm -f "$benchhost"
fi

# N = 1000 clients of our server hold 4000 sockets, the server as many.
hard=$(ulimit -Hn)
if [ "$hard" = unlimited ] || [ "$hard" -gt 65536 ]; then hard=65536; fi
ulimit -n "$hard"
echo "open-file limit: $(ulimit -n)"

work=$(mktemp -d /tmp/sohbet-bench.XXXXXX)
chmod 755 "$work"
server_pid=
stop_server() {
    if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
        kill "$server_pid" 2>/dev/null || true
        for _ in $(seq 50); do kill -0 "$server_pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    server_pid=
}
cleanup() {
    stop_server
    [ "${KEEP_WORK:-0}" = 1 ] && echo "logs kept in $work" || rm -rf "$work"
}
trap cleanup EXIT

listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
free_port() {
    local port
    while :; do
        port=$((20000 + RANDOM % 40000))
        listening "$port" || { echo "$port"; return; }
    done
}
wait_listening() { # port seconds
    local tries=$(($2 * 10))
    while ! listening "$1"; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        kill -0 "$server_pid" 2>/dev/null || return 1
        sleep 0.1
    done
}

# --- servers ---------------------------------------------------------------
# Each prints nothing and sets server_pid and port, or says why it could not.
start_ngircd() {
    local dir=$work/ngircd user group
    mkdir -p "$dir"
    user=$(id -un) group=$(id -gn)
    if [ "$(id -u)" -eq 0 ]; then user=nobody group=nogroup; chown nobody:nogroup "$dir"; fi
    port=$(free_port)
    sed -e "s|@PORT@|$port|; s|@RUNDIR@|$dir|g; s|@USER@|$user|; s|@GROUP@|$group|" \
        bench/irc/ngircd.conf >"$dir/ngircd.conf"
    ngircd --nodaemon --config "$dir/ngircd.conf" >"$dir/ngircd.log" 2>&1 &
    server_pid=$!
    wait_listening "$port" 10 || { echo "ngIRCd did not listen (see $dir/ngircd.log)"; return 1; }
}

start_inspircd() {
    local dir=$work/inspircd asroot=()
    mkdir -p "$dir"
    echo "bench" >"$dir/inspircd.motd"
    [ "$(id -u)" -eq 0 ] && asroot=(--runasroot)
    port=$(free_port)
    sed -e "s|@PORT@|$port|; s|@RUNDIR@|$dir|g" bench/irc/inspircd.conf >"$dir/inspircd.conf"
    inspircd --nofork "${asroot[@]}" --config="$dir/inspircd.conf" >"$dir/inspircd.out" 2>&1 &
    server_pid=$!
    wait_listening "$port" 10 || { echo "InspIRCd did not listen (see $dir/inspircd.out)"; return 1; }
}

start_ours() {
    local p
    [ -x "$benchhost" ] || { echo "SKIP ours: bench host not built"; return 1; }
    for p in "${CHAT_PORTS[@]}"; do
        listening "$p" && { echo "SKIP ours: port $p is already in use"; return 1; }
    done
    QT_QPA_PLATFORM=offscreen "$benchhost" "$((RUN_LIMIT + 60))" >"$work/ours.log" 2>&1 &
    server_pid=$!
    for p in "${CHAT_PORTS[@]}"; do
        wait_listening "$p" 10 || {
            echo "SKIP ours: port $p does not listen after Start (see $work/ours.log)"
            return 1
        }
    done
}

load() { # server n -> JSON on stdout
    local args=(--clients "$2" --rounds "$ROUNDS" --line-bytes "$LINE_BYTES"
                --duration-limit "$RUN_LIMIT" --server-pid "$server_pid" --json)
    [ "$BURST" = 1 ] && args+=(--burst)
    if [ "$1" = ours ]; then
        "$loadtool" --mode chat --channels "$OURS_CHANNELS" "${args[@]}"
    else
        "$loadtool" --mode irc --port "$port" "${args[@]}"
    fi
}

# --- runs ------------------------------------------------------------------
results=$work/results
mkdir -p "$results"
declare -A skipped=()
for n in $SIZES; do
    for run in $(seq "$RUNS"); do
        for s in "${servers[@]}"; do
            [ -n "${skipped[$s]:-}" ] && continue
            if [ $((SECONDS - started)) -ge "$BUDGET" ]; then
                echo "time budget of ${BUDGET}s used up: skipping $s N=$n run $run"
                continue
            fi
            if ! "start_$s"; then
                [ "$s" = ours ] && skipped[$s]=1
                stop_server
                continue
            fi
            echo "$s N=$n run $run"
            load "$s" "$n" >"$results/$s-$n-$run.json" || true
            stop_server
            jq -r '"  p50 \(.latency_ms.p50) ms, p99 \(.latency_ms.p99) ms, lost \(.lost), " +
                   "garbled \(.garbled), arrived \(.arrived)/\(.clients), " +
                   "setup \(.setup_s) s, SYN-retried connects \(.retried_connects)"' \
                "$results/$s-$n-$run.json" 2>/dev/null || echo "  no result"
        done
    done
done

# --- medians, table, plot -------------------------------------------------
median() { # server n jq-expression -> median over runs, or "-"
    local values
    values=$(cat "$results/$1-$2-"*.json 2>/dev/null |
             jq -r "select(.latency_ms.count > 0) | $3" 2>/dev/null | sort -g) || true
    [ -n "$values" ] || { echo "-"; return; }
    echo "$values" | awk '{ v[NR] = $1 } END {
        m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf (m >= 1000 ? "%.0f\n" : "%.4g\n"), m }'
}
ratio() { # ours best
    if [ "$1" = - ] || [ "$2" = - ]; then echo "-"; else awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f\n", a / b }'; fi
}
best() { # two values, "-" for none
    if [ "$1" = - ]; then echo "$2"; elif [ "$2" = - ]; then echo "$1"
    else awk -v a="$1" -v b="$2" 'BEGIN { print (a < b) ? a : b }'; fi
}

md=bench/results.md
[ "$BURST" = 1 ] && md=bench/results-burst.md
dat=$work/latency.dat
{
    echo "# Fan-out latency: results"
    echo
    echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(uname -sr); \`bash bench/run.sh\`"
    echo "(SIZES=\"$SIZES\" RUNS=$RUNS ROUNDS=$ROUNDS, ${LINE_BYTES}-byte lines; our clients' channels: $OURS_CHANNELS)."
    echo "Medians of $RUNS runs. Latency: a line sent until every other client has it."
    echo
    echo "| N | server | p50 ms | p99 ms | max ms | lines/s delivered | lost | garbled | reordered | server CPU µs/line | server RSS KiB | setup s |"
    echo "|---|---|---|---|---|---|---|---|---|---|---|---|"
} >"$md"
echo "# N ngircd_p50 ngircd_p99 inspircd_p50 inspircd_p99 ours_p50 ours_p99" >"$dat"
printf '\n%-5s %-9s %9s %9s %9s %11s %6s %8s %9s %8s %9s\n' N server p50ms p99ms maxms lines/s lost garbled reordered cpu_us rss_KiB
for n in $SIZES; do
    row="$n"
    for s in "${servers[@]}"; do
        p50=$(median "$s" "$n" .latency_ms.p50)
        p99=$(median "$s" "$n" .latency_ms.p99)
        mx=$(median "$s" "$n" .latency_ms.max)
        rate=$(median "$s" "$n" .deliveries_per_s)
        lost=$(median "$s" "$n" .lost)
        garbled=$(median "$s" "$n" .garbled)
        reordered=$(median "$s" "$n" .reordered)
        cpu=$(median "$s" "$n" '.server.cpu_us_per_delivery // empty')
        rss=$(median "$s" "$n" '.server.rss_kib_after_chat // empty')
        setup=$(median "$s" "$n" .setup_s)
        declare "p50_$s=$p50" "p99_$s=$p99"
        printf '%-5s %-9s %9s %9s %9s %11s %6s %8s %9s %8s %9s\n' "$n" "$s" "$p50" "$p99" "$mx" "$rate" "$lost" "$garbled" "$reordered" "$cpu" "$rss"
        echo "| $n | $s | $p50 | $p99 | $mx | $rate | $lost | $garbled | $reordered | $cpu | $rss | $setup |" >>"$md"
        row="$row ${p50/-/NaN} ${p99/-/NaN}"
    done
    echo "$row" >>"$dat"
    r50=$(ratio "$p50_ours" "$(best "$p50_ngircd" "$p50_inspircd")")
    r99=$(ratio "$p99_ours" "$(best "$p99_ngircd" "$p99_inspircd")")
    printf '%-5s ratio ours / best IRC: p50 %s, p99 %s\n' "$n" "$r50" "$r99"
    ratios+=("| $n | $r50 | $r99 |")
done
{
    echo
    echo "Ratio ours / best of the two IRC servers (below 1: ours is faster):"
    echo
    echo "| N | p50 | p99 |"
    echo "|---|---|---|"
    printf '%s\n' "${ratios[@]}"
} >>"$md"

if [ "$BURST" = 1 ]; then
    echo; echo "wrote $md in $((SECONDS - started)) s"; exit 0
fi
gnuplot <<EOF
set terminal pngcairo size 900,560 font "DejaVu Sans,10"
set output "bench/latency.png"
set title "Fan-out completion latency (${LINE_BYTES}-byte lines, median of $RUNS runs)"
set xlabel "clients (N)"
set ylabel "latency, ms"
set logscale xy
set grid
set key top left
set datafile missing "NaN"
plot "$dat" using 1:2 with linespoints lw 2 pt 7 lc rgb "#1f77b4" title "ngIRCd p50", \
     "$dat" using 1:3 with linespoints lw 2 pt 7 dt 2 lc rgb "#1f77b4" title "ngIRCd p99", \
     "$dat" using 1:4 with linespoints lw 2 pt 5 lc rgb "#2ca02c" title "InspIRCd p50", \
     "$dat" using 1:5 with linespoints lw 2 pt 5 dt 2 lc rgb "#2ca02c" title "InspIRCd p99", \
     "$dat" using 1:6 with linespoints lw 2 pt 9 lc rgb "#d62728" title "ours p50", \
     "$dat" using 1:7 with linespoints lw 2 pt 9 dt 2 lc rgb "#d62728" title "ours p99"
EOF
echo
echo "wrote $md and bench/latency.png in $((SECONDS - started)) s"
