#!/usr/bin/env bash
# Fan-out latency of our server beside ngIRCd and InspIRCd, on loopback only,
# and beside the least a relay can do (bench/epollrelay: recv, then one send
# per client), the reference column.
#
# For every N in SIZES and every run, each server is started fresh, loaded by
# tools/loadtool (N clients arrive, then ROUNDS rounds: one client sends a
# 64-byte line and the round ends when every other client has it), and
# stopped. Medians of RUNS runs go into a table (ratios ours / the relay and
# ours / each IRC server), bench/results.md and bench/latency.png.
#
# Our server is run by bench/benchhost (the operator window, headless, Start
# pressed). It is skipped, with a line saying why, when the host did not build
# or the chat ports do not listen. Its clients take the whole road of a client
# (all four channels); OURS_CHANNELS=message measures the message fan-out alone,
# which is what the relay does (its clients use the message channel only).
# With a display ($DISPLAY, e.g. under xvfb-run) the window is drawn on it.
# SERVERS picks the columns; relay_uring is the relay with its sends of a read
# in one io_uring submission, and ours_noring our server writing with one
# system call per send (as where the kernel offers no io_uring).
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
read -r -a servers <<<"${SERVERS:-relay ngircd inspircd ours}"
started=$SECONDS

# --- what is needed -------------------------------------------------------
bash tools/setup-debian.sh ngircd inspircd gnuplot-nox jq

build=$root/build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSOHBET_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target loadtool epollrelay
loadtool=$build/tools/loadtool/loadtool
relay=$build/bench/epollrelay
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

start_relay() {
    port=$(free_port)
    "$relay" --port "$port" --seconds "$((RUN_LIMIT + 60))" "$@" >"$work/relay.log" 2>&1 &
    server_pid=$!
    wait_listening "$port" 10 || { echo "the relay did not listen (see $work/relay.log)"; return 1; }
}
start_relay_uring() { start_relay --uring; }

start_ours() {
    local p qpa=offscreen
    [ -x "$benchhost" ] || { echo "SKIP ours: bench host not built"; return 1; }
    for p in "${CHAT_PORTS[@]}"; do
        listening "$p" && { echo "SKIP ours: port $p is already in use"; return 1; }
    done
    [ -n "${DISPLAY:-}" ] && qpa=xcb
    QT_QPA_PLATFORM=$qpa "$benchhost" "$((RUN_LIMIT + 60))" "$@" >"$work/ours.log" 2>&1 &
    server_pid=$!
    for p in "${CHAT_PORTS[@]}"; do
        wait_listening "$p" 10 || {
            echo "SKIP ours: port $p does not listen after Start (see $work/ours.log)"
            return 1
        }
    done
}
start_ours_noring() { start_ours --no-ring; }

load() { # server n -> JSON on stdout
    local args=(--clients "$2" --rounds "$ROUNDS" --line-bytes "$LINE_BYTES"
                --duration-limit "$RUN_LIMIT" --server-pid "$server_pid" --json)
    [ "$BURST" = 1 ] && args+=(--burst)
    if [ "${1%_noring}" = ours ]; then
        "$loadtool" --mode chat --channels "$OURS_CHANNELS" "${args[@]}"
    elif [ "${1%_uring}" = relay ]; then
        "$loadtool" --mode chat --channels message --chat-ports "$port,$port,$port,$port" "${args[@]}"
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
            # A port that no server listens on can still be the own end of
            # a connection (the previous run's clients), which bind refuses:
            # the IRC servers and the relay get another try on another port.
            tries=3
            [ "${s%_noring}" = ours ] && tries=1
            until "start_$s"; do
                stop_server
                tries=$((tries - 1))
                [ "$tries" -gt 0 ] || break
            done
            if [ "$tries" -eq 0 ]; then
                [ "${s%_noring}" = ours ] && skipped[$s]=1
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
middle() { # numbers on stdin -> their median, or "-"
    sort -g | awk '{ v[NR] = $1 } END {
        if (NR == 0) { print "-"; exit }
        m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf (m >= 1000 ? "%.0f\n" : "%.4g\n"), m }'
}
figure() { # server n run jq-expression -> that run's figure, or nothing
    jq -r "select(.latency_ms.count > 0) | $4" "$results/$1-$2-$3.json" 2>/dev/null || true
}
median() { # server n jq-expression -> median over runs, or "-"
    for run in $(seq "$RUNS"); do figure "$1" "$2" "$run" "$3"; done | middle
}
# Ours against another server as the median of the runs' own ratios: the
# servers take turns within a run, so each pair shared the machine's state
# of the moment, which on a shared machine moves a server's own figures by
# more than the differences looked for from one run to the next.
paired() { # other n jq-expression -> median over runs of ours / other, or "-"
    local run a b
    for run in $(seq "$RUNS"); do
        a=$(figure ours "$2" "$run" "$3") b=$(figure "$1" "$2" "$run" "$3")
        [ -n "$a" ] && [ -n "$b" ] && awk -v a="$a" -v b="$b" 'BEGIN { if (b > 0) print a / b }'
    done | middle | awk '{ printf ($1 == "-" ? "-\n" : "%.2f\n"), $1 }'
}
md=bench/results.md
[ "$BURST" = 1 ] && md=bench/results-burst.md
dat=$work/latency.dat
label() {
    case $1 in
    relay) echo "epoll relay" ;; relay_uring) echo "relay, io_uring" ;;
    ngircd) echo ngIRCd ;; inspircd) echo InspIRCd ;;
    ours) echo ours ;; ours_noring) echo "ours, no ring" ;; *) echo "$1" ;;
    esac
}
{
    echo "# Fan-out latency: results"
    echo
    echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(uname -sr); \`bash bench/run.sh\`"
    echo "(SIZES=\"$SIZES\" RUNS=$RUNS ROUNDS=$ROUNDS, ${LINE_BYTES}-byte lines; our clients' channels: $OURS_CHANNELS;"
    echo "the relay's: message)."
    echo "Medians of $RUNS runs. Latency: a line sent until every other client has it."
    echo "RSS growth: the server's resident memory once all clients are there, less before they came, per client."
    echo
    echo "| N | server | p50 ms | p99 ms | max ms | lines/s delivered | lost | garbled | reordered | server CPU µs/line | server RSS KiB | RSS growth KiB per client | setup s |"
    echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|"
} >"$md"
echo "# N $(for s in "${servers[@]}"; do printf '%s_p50 %s_p99 ' "$s" "$s"; done)" >"$dat"
printf '\n%-5s %-12s %9s %9s %9s %11s %6s %8s %9s %8s %9s\n' N server p50ms p99ms maxms lines/s lost garbled reordered cpu_us rss_KiB
others=()
for s in "${servers[@]}"; do [ "$s" = ours ] || others+=("$s"); done
ratios=()
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
        grow=$(median "$s" "$n" '(.server.rss_kib_after_setup - .server.rss_kib_before) / .clients')
        setup=$(median "$s" "$n" .setup_s)
        printf '%-5s %-12s %9s %9s %9s %11s %6s %8s %9s %8s %9s\n' "$n" "$s" "$p50" "$p99" "$mx" "$rate" "$lost" "$garbled" "$reordered" "$cpu" "$rss"
        echo "| $n | $(label "$s") | $p50 | $p99 | $mx | $rate | $lost | $garbled | $reordered | $cpu | $rss | $grow | $setup |" >>"$md"
        row="$row ${p50/-/NaN} ${p99/-/NaN}"
    done
    echo "$row" >>"$dat"
    for o in "${others[@]}"; do
        r50=$(paired "$o" "$n" .latency_ms.p50) r99=$(paired "$o" "$n" .latency_ms.p99)
        rcpu=$(paired "$o" "$n" '.server.cpu_us_per_delivery // empty')
        printf '%-5s ours / %-12s p50 %s, p99 %s, CPU %s\n' "$n" "$o:" "$r50" "$r99" "$rcpu"
        ratios+=("| $n | $(label "$o") | $r50 | $r99 | $rcpu |")
    done
done
{
    echo
    echo "Ratio ours / each other server, the median of the runs' own ratios (below 1: ours is faster or cheaper):"
    echo
    echo "| N | against | p50 | p99 | CPU per delivery |"
    echo "|---|---|---|---|---|"
    printf '%s\n' "${ratios[@]}"
} >>"$md"

if [ "$BURST" = 1 ]; then
    echo; echo "wrote $md in $((SECONDS - started)) s"; exit 0
fi
colours=("#7f7f7f" "#1f77b4" "#2ca02c" "#d62728" "#9467bd" "#ff7f0e")
plot=()
for i in "${!servers[@]}"; do
    c=${colours[$((i % ${#colours[@]}))]} t=$(label "${servers[$i]}")
    plot+=("\"$dat\" using 1:$((2 * i + 2)) with linespoints lw 2 pt 7 lc rgb \"$c\" title \"$t p50\"")
    plot+=("\"$dat\" using 1:$((2 * i + 3)) with linespoints lw 2 pt 7 dt 2 lc rgb \"$c\" title \"$t p99\"")
done
gnuplot <<EOF
set terminal pngcairo size 900,560 font "DejaVu Sans,10" noenhanced
set output "bench/latency.png"
set title "Fan-out completion latency (${LINE_BYTES}-byte lines, median of $RUNS runs)"
set xlabel "clients (N)"
set ylabel "latency, ms"
set logscale xy
set grid
set key top left
set datafile missing "NaN"
plot $(IFS=,; echo "${plot[*]}")
EOF
echo
echo "wrote $md and bench/latency.png in $((SECONDS - started)) s"
