#!/bin/bash
# CPU per good check of the real program, side by side with Monit watching the
# same local page, and the floor (a bare libcurl GET with a fresh handle plus
# one synced atomic replacement of a 1 KB file) measured in the same run.
#
#   bench/compare_monit.sh [SECONDS]          # default 60
#
# Installs Monit from Debian if it is missing, builds the program and the floor
# in build-bench/ (BUILD_DIR to change that), starts bench/page_server.py on a
# free port of 127.0.0.1, then runs the service program (from a temporary
# folder with a Tarvesk.ini that resumes monitoring) and Monit (a monitrc of
# its own, `set daemon 1`, in the foreground) for SECONDS after a short
# warm-up. CPU is utime+stime from /proc/PID/stat (10 ms ticks: longer runs
# give finer figures); checks are the program's PageCheckCount and the
# requests Monit made to the page.
#
# Environment:
#   BUILD_DIR  build folder (default build-bench)
#   INTERVAL   the program's check interval in seconds (default 1; Monit stays at 1)
#   FLOOR_N    repetitions of each floor operation (default 200)
#   PERF_OUT   if set, `perf record --call-graph dwarf` of the program during
#              the window into this file (the CPU figures then include perf's
#              own cost; use a run without it for the table)
#   TMPDIR     where the temporary folder goes; its file system sets the cost
#              of the synced writes of both the program and the floor
#
# Profile of the running program, by subsystem (0.1 s for ten times the
# samples of 1 s; the shares come out alike):
#   INTERVAL=0.1 PERF_OUT=/tmp/tarvesk.perf bench/compare_monit.sh 30
#   perf script -i /tmp/tarvesk.perf | bench/perf_summary.py
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${BUILD_DIR:-$root/build-bench}
interval=${INTERVAL:-1}
floor_n=${FLOOR_N:-200}
hz=$(getconf CLK_TCK)

# What a measuring run needs from Debian, installed when missing.
need_package() {
    command -v "$1" > /dev/null && return
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y "$2" > /dev/null || { apt-get update > /dev/null && apt-get install -y "$2" > /dev/null; }
}
need_package monit monit
if [ -n "${PERF_OUT:-}" ]; then need_package perf linux-perf; fi

cmake -S "$root" -B "$build" -DTARVESK_BUILD_BENCH=ON > /dev/null
cmake --build "$build" -j2 --target tarvesk-service tarvesk_floor > /dev/null

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2> /dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local limit=$(($1 * 10))
    shift
    for ((i = 0; i < limit; i++)); do
        if "$@"; then return 0; fi
        sleep 0.1
    done
    echo "timed out waiting for: $*" >&2
    return 1
}

/usr/bin/python3 "$root/bench/page_server.py" --port-file "$work/port" &
pids+=($!)
wait_for 10 test -s "$work/port"
port=$(cat "$work/port")
page=http://127.0.0.1:$port

# Requests the page server has answered on one path.
served() { curl -s "$page/counts" | awk -v p="$1" '$1 == p { n = $2 } END { print n + 0 }'; }
# utime+stime of a process, in clock ticks; every thread it ever had is in it.
ticks() { sed 's/.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
checks_made() {
    sed -n 's/^PageCheckCount=\([0-9]*\).*/\1/p' "$work/tarvesk/Tarvesk.ini" | tr -d '\r'
}

# --- The service program, resumed from its settings file beside it ---
mkdir "$work/tarvesk"
cp "$build/tarvesk-service" "$work/tarvesk/tarvesk-service"
cat > "$work/tarvesk/Tarvesk.ini" << EOF
[HowToMonitor]
PageURL=$page/tarvesk
Interval=$interval
CmdResetIIS=/bin/true
ResetIIS=0
PageFailureThreshold=2
CmdResetComputer=/bin/true
ResetComputer=0
IISResetThreshold=2
AbortMonitor=0
ComputerResetThreshold=2
[HowtoNotify]
NotifyIISReset=0
NotifyComputerReset=0
NotifyAbortMonitor=0
ReceiverEmail=tarvesk@example.com
SenderEmail=tarvesk@example.com
SenderSMTP=smtp.example.com
SenderAccount=tarvesk@example.com
SenderPassword=123
[Status]
Language=eng
Monitoring=1
StartTime=2026-1-1 08:00:00
PageCheckCount=0
IISResetCount=0
ComputerResetCount=0
ContinousComputerResetFailure=0
EOF
# As the unit runs it, with no display in its environment.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$work/tarvesk/tarvesk-service" > "$work/tarvesk.out" 2>&1 &
tarvesk=$!
pids+=("$tarvesk")

# --- Monit, with files of its own ---
mkdir "$work/monit"
cat > "$work/monit/monitrc" << EOF
set daemon 1
set log $work/monit/monit.log
set idfile $work/monit/monit.id
set statefile $work/monit/monit.state
set pidfile $work/monit/monit.pid
check host page with address 127.0.0.1
    if failed port $port protocol http request "/monit" then alert
EOF
chmod 600 "$work/monit/monitrc"
monit -c "$work/monit/monitrc" -I > "$work/monit.out" 2>&1 &
monit_pid=$!
pids+=("$monit_pid")

# Start-up (Qt, libcurl) is no part of a check: measure from the
# third check of each on.
at_least() { local n; n=$("$1" "${@:3}"); [ "${n:-0}" -ge "$2" ]; }
wait_for 30 at_least checks_made 3
wait_for 30 at_least served 3 /monit

# The floor once a second alongside, with the caches as cold as a check's.
mkdir "$work/floor-paced" "$work/floor"
pause_ms=$(awk -v s="$interval" 'BEGIN { print int(s * 1000) }')
paced_n=$((seconds * 1000 / pause_ms))
"$build/bench/tarvesk_floor" "$page/floor" "$paced_n" "$work/floor-paced" "$pause_ms" > "$work/floor-paced.txt" &
paced=$!
pids+=("$paced")

t_ticks0=$(ticks "$tarvesk"); t_checks0=$(checks_made); t_served0=$(served /tarvesk)
m_ticks0=$(ticks "$monit_pid"); m_cycles0=$(served /monit)
if [ -n "${PERF_OUT:-}" ]; then
    perf record --call-graph dwarf -o "$PERF_OUT" -p "$tarvesk" -- sleep "$seconds" 2> "$work/perf.err" ||
        cat "$work/perf.err" >&2
else
    sleep "$seconds"
fi
t_ticks1=$(ticks "$tarvesk"); t_checks1=$(checks_made); t_served1=$(served /tarvesk)
m_ticks1=$(ticks "$monit_pid"); m_cycles1=$(served /monit)
t_rss=$(rss_kb "$tarvesk"); m_rss=$(rss_kb "$monit_pid")

# Both stop before the floor runs, so that it has the machine to itself.
kill "$tarvesk" "$monit_pid"
wait "$tarvesk" "$monit_pid" 2> /dev/null || true
wait "$paced"
floor=$("$build/bench/tarvesk_floor" "$page/floor" "$floor_n" "$work/floor")
paced_floor=$(cat "$work/floor-paced.txt")

figure() { echo "${3:-$floor}" | awk -v op="$1" -v key="$2" '$1 == op { for (i = 2; i <= NF; i++) { split($i, kv, "="); if (kv[1] == key) print kv[2] } }'; }

awk -v hz="$hz" -v secs="$seconds" -v interval="$interval" -v pn="$paced_n" \
    -v tt="$((t_ticks1 - t_ticks0))" -v tc="$((t_checks1 - t_checks0))" -v ts="$((t_served1 - t_served0))" \
    -v mt="$((m_ticks1 - m_ticks0))" -v mc="$((m_cycles1 - m_cycles0))" \
    -v trss="$t_rss" -v mrss="$m_rss" -v n="$floor_n" \
    -v fc="$(figure floor cpu_ms)" -v fw="$(figure floor wall_ms)" \
    -v gc="$(figure get cpu_ms)" -v gw="$(figure get wall_ms)" \
    -v rc="$(figure replace cpu_ms)" -v rw="$(figure replace wall_ms)" \
    -v pc="$(figure floor cpu_ms "$paced_floor")" -v pw="$(figure floor wall_ms "$paced_floor")" \
    -v pgc="$(figure get cpu_ms "$paced_floor")" -v prc="$(figure replace cpu_ms "$paced_floor")" \
    -v cpu="$(lscpu | sed -n 's/^Model name: *//p')" -v cores="$(nproc)" '
BEGIN {
    tms = tt * 1000 / hz; mms = mt * 1000 / hz
    tper = tc > 0 ? tms / tc : 0; mper = mc > 0 ? mms / mc : 0
    printf "machine: %d cores, %s\n", cores, cpu
    printf "window: %d s; Tarvesk every %s s, Monit every 1 s; CPU from /proc in %d ms ticks\n\n", secs, interval, 1000 / hz
    printf "| | CPU per check | checks | CPU in window | resident memory |\n|---|---|---|---|---|\n"
    printf "| Tarvesk | %.2f ms | %d (page saw %d) | %d ms | %.1f MB |\n", tper, tc, ts, tms, trss / 1024
    printf "| Monit (per cycle) | %.2f ms | %d | %d ms | %.1f MB |\n", mper, mc, mms, mrss / 1024
    printf "| floor, back to back after the window: GET + synced replace | %.3f ms (%.3f + %.3f) | %d | | |\n", fc, gc, rc, n
    printf "| floor, once every %s s alongside | %.3f ms (%.3f + %.3f) | %d | | |\n\n", interval, pc, pgc, prc, pn
    printf "floor wall time: back to back %.2f ms (GET %.2f + replace %.2f), alongside %.2f ms\n", fw, gw, rw, pw
    printf "Tarvesk / floor: %.1fx back to back, %.1fx alongside\n", (fc > 0 ? tper / fc : 0), (pc > 0 ? tper / pc : 0)
    printf "Tarvesk / Monit: %.2fx\n\n", (mper > 0 ? tper / mper : 0)
    # The figures the program is held to, each beside its aim.
    printf "| Tarvesk, headless | measured | aim |\n|---|---|---|\n"
    printf "| CPU per good check | %.2f ms | |\n", tper
    printf "| ratio to the back-to-back floor | %.1fx | at most 3x |\n", (fc > 0 ? tper / fc : 0)
    printf "| ratio to Monit | %.2fx | at most 0.25x |\n", (mper > 0 ? tper / mper : 0)
    printf "| resident memory | %.1f MB | at most 20 MB |\n", trss / 1024
}'
