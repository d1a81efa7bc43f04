#!/usr/bin/env bash
# Start-up time, memory, idle cost and tick accuracy of Vreko beside the floor, a bare Xlib
# window of its size (bench/bare_x11.cpp), and beside xclock -update 1, all measured the same
# way in the same run under a private Xvfb with openbox. The machine's speed changes from run
# to run when other work shares it: compare the ratios within one run, not figures across runs.
# Prints figures; asserts nothing.
#   bench/startup_idle.sh [build-dir] [starts] [idle-rounds] [tick-seconds]
set -u
cd "$(dirname "$0")/.."
BUILD=${1:-build}
RUNS=${2:-7}
ROUNDS=${3:-5}
TICKS=${4:-65}
IDLE=10
LOAD_START=$(cut -d' ' -f1-3 /proc/loadavg)  # before anything of the run
command -v xclock strace Xvfb openbox >/dev/null || { echo "needs x11-apps, strace, xvfb and openbox"; exit 1; }
[ -f "$BUILD/CMakeCache.txt" ] || { echo "configure first: cmake -S . -B $BUILD"; exit 1; }
echo "building vreko and the benchmark's helpers in $BUILD" >&2
cmake --build "$BUILD" -j2 --target vreko vreko_maptime vreko_bare_x11 >/dev/null || exit 1
MAPTIME=$BUILD/vreko_maptime

T=$(mktemp -d /tmp/vreko-bench-XXXXXX)
source bench/lib.sh
cleanup() {  # the programs first, then the X server
    local p
    for p in $(pgrep -f "^$T/" 2>/dev/null); do kill -9 "$p" 2>/dev/null; done
    stop_display
    rm -rf "$T"
}
trap cleanup EXIT
trap 'exit 143' TERM INT
export HOME=$T XDG_RUNTIME_DIR=$T/run XDG_CONFIG_HOME=$T/config
mkdir -p "$T/run" && chmod 700 "$T/run"
start_display
cp "$BUILD/vreko" "$BUILD/vreko_bare_x11" "$T/"
# Never hides by itself, so it idles on its one-second idle timer for the whole measurement.
printf '[Timer]\nTimePause=-1\n[AppStart]\nFileName1=\nFileName2=\n' >"$T/Vreko.INI"

NAMES=(bare vreko xclock)
TITLES=(bare vreko xclock)
declare -A CMD=([bare]="$T/vreko_bare_x11" [vreko]="$T/vreko" [xclock]="xclock -update 1")
cpu_ms() { awk '{printf "%.3f\n", $1/1e6}' "/proc/$1/schedstat"; }  # time on a CPU, ns precision
vcs() { awk '/^voluntary_ctxt_switches/{print $2}' "/proc/$1/status"; }
end_program() { kill -9 "$1" 2>/dev/null; wait "$1" 2>/dev/null; }

starts() {  # every program started RUNS times, taking turns, so that a change of load falls on all
    local r name out pid
    for r in $(seq "$RUNS"); do
        echo "starts: round $r of $RUNS" >&2
        for name in "${NAMES[@]}"; do
            # shellcheck disable=SC2086  # the command's words
            out=$("$MAPTIME" ${CMD[$name]})
            pid=${out#* }
            V[$name.map]+="${out% *} "
            sleep 1
            V[$name.rss]+="$(kib Rss "$pid") "
            V[$name.pss]+="$(kib Pss "$pid") "
            end_program "$pid"
            sleep 0.3
        done
    done
}

idle() {  # idle name [ticks]: CPU time and voluntary switches over ROUNDS windows of IDLE seconds,
    # then, with ticks, the moments the process returns from its waits over TICKS seconds
    local name=$1 pid c0 v0 c1 v1 r
    echo "idle: $name" >&2
    # shellcheck disable=SC2086
    ${CMD[$name]} & pid=$!
    sleep 2
    c0=$(cpu_ms $pid); v0=$(vcs $pid)
    for r in $(seq "$ROUNDS"); do
        sleep "$IDLE"
        c1=$(cpu_ms $pid); v1=$(vcs $pid)
        V[$name.cpu]+="$(awk -v a="$c0" -v b="$c1" 'BEGIN{print b-a}') "
        V[$name.wake]+="$((v1 - v0)) "
        c0=$c1; v0=$v1
    done
    if [ -n "${2:-}" ]; then
        echo "ticks: $name" >&2
        timeout "$((TICKS + 1))" strace -f -ttt -T -e trace=poll,ppoll,select,pselect6 -p $pid -o "$T/$name.trace" 2>/dev/null
        # A tick: the end of a wait of more than half a second; its error: how far the time since
        # the tick before is from one second.
        V[$name.tick]=$(awk '{ t=$2; d=$NF; gsub(/[<>]/,"",d); if (d+0 > 0.5) printf "%.6f\n", t + d }' "$T/$name.trace" |
            awk 'NR>1 { printf "%.3f ", ($1-p)*1000-1000 } { p=$1 }')
        V[$name.drift]=$(awk '{ t=$2; d=$NF; gsub(/[<>]/,"",d); if (d+0 > 0.5) printf "%.6f\n", t + d }' "$T/$name.trace" |
            awk 'NR==1{f=$1} {l=$1} END{ if (NR>1) printf "%.2f %d", (l-f)*1000-(NR-1)*1000, NR-1 }')
    fi
    end_program $pid
}

starts
idle bare
idle vreko ticks
idle xclock ticks
LOAD_END=$(load)

echo "load at start $LOAD_START, at end $LOAD_END (1, 5 and 15 minutes); $(nproc) cores"
echo "$RUNS starts of each program, taking turns; idle: $ROUNDS × $IDLE s; ticks over $TICKS s"
ratios "map:start to window mapped" "rss:memory, RSS" "pss:memory, PSS" "cpu:idle CPU time"
columns "median [least, most]" "${TITLES[@]}"
row "start to window mapped, ms" map %.1f
row "memory, RSS, KiB" rss %.0f
row "memory, PSS, KiB" pss %.0f
row "idle CPU time, ms/${IDLE} s" cpu %.2f
row "voluntary switches/${IDLE} s" wake %.0f
row "tick error, ms" tick %.3f
for name in vreko xclock; do
    read -r drift n <<<"${V[$name.drift]:-nan 0}"
    echo "  $name drifts $drift ms over $n ticks"
done
