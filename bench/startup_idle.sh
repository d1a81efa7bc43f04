#!/usr/bin/env bash
# Start-up time, memory, idle cost and tick accuracy of Vreko beside xclock -update 1, both
# measured the same way in the same run under a private Xvfb with openbox. Prints figures;
# asserts nothing.
#   bench/startup_idle.sh [build-dir] [runs] [tick-seconds]
set -u
cd "$(dirname "$0")/.."
BUILD=${1:-build}
RUNS=${2:-7}
TICKS=${3:-125}
VREKO=$BUILD/vreko
MAPTIME=$BUILD/vreko_maptime
[ -x "$VREKO" ] && [ -x "$MAPTIME" ] || { echo "build first: cmake --build $BUILD"; exit 1; }
command -v xclock strace >/dev/null || { echo "needs x11-apps and strace"; exit 1; }

T=$(mktemp -d /tmp/vreko-bench-XXXXXX)
PIDS=()
stop() { kill -TERM "$1" 2>/dev/null; for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done; kill -9 "$1" 2>/dev/null; }
# The X server last, and with SIGTERM, so that it removes its lock file and socket.
cleanup() { pkill -9 -f "$T/vreko" 2>/dev/null; for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do stop "${PIDS[i]}"; done; rm -rf "$T"; }
trap cleanup EXIT
export HOME=$T XDG_RUNTIME_DIR=$T/run XDG_CONFIG_HOME=$T/config
mkdir -p "$T/run" && chmod 700 "$T/run"
# The server picks a free display itself and names it once it accepts clients.
mkfifo "$T/displayfd"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$T/displayfd" >/dev/null 2>&1 & PIDS+=($!)
read -r -t 30 n <"$T/displayfd" || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=:$n
# openbox runs its start-up command once it manages windows.
openbox --sm-disable --startup "touch $T/wm-ready" >/dev/null 2>&1 & PIDS+=($!)
for i in $(seq 300); do [ -e "$T/wm-ready" ] && break; sleep 0.1; done
cp "$VREKO" "$T/vreko"
# Never hides by itself, so it idles on its one-second idle timer for the whole measurement.
printf '[Timer]\nTimePause=-1\n[AppStart]\nFileName1=\nFileName2=\n' >"$T/Vreko.INI"

median() { sort -n | awk '{a[NR]=$1} END{print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
kib() { awk -v k="$1" '$1==k":"{print $2}' "/proc/$2/smaps_rollup"; }
cpu_ms() { awk '{printf "%.3f\n", $1/1e6}' "/proc/$1/schedstat"; }  # time on a CPU, ns precision
vcs() { awk '/^voluntary_ctxt_switches/{print $2}' "/proc/$1/status"; }

measure() {  # measure name command... → sets globals MAP RSS PSS CPU WAKE
    local name=$1; shift
    local maps=() rss=() pss=() out pid
    for r in $(seq "$RUNS"); do
        out=$("$MAPTIME" "$@")
        pid=${out#* }
        maps+=("${out% *}")
        sleep 1
        rss+=("$(kib Rss "$pid")"); pss+=("$(kib Pss "$pid")")
        kill -9 "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
        sleep 0.3
    done
    MAP=$(printf '%s\n' "${maps[@]}" | median)
    RSS=$(printf '%s\n' "${rss[@]}" | median)
    PSS=$(printf '%s\n' "${pss[@]}" | median)
    # Idle: CPU time and voluntary context switches over 10 s.
    "$@" & pid=$!
    sleep 2
    local c0 v0; c0=$(cpu_ms $pid); v0=$(vcs $pid)
    sleep 10
    CPU=$(awk -v a="$c0" -v b="$(cpu_ms $pid)" 'BEGIN{print b-a}')
    WAKE=$(( $(vcs $pid) - v0 ))
    # Ticks: the moments the process returns from its waits, over TICKS seconds.
    timeout "$((TICKS + 1))" strace -f -ttt -T -e trace=poll,ppoll,select,pselect6 -p $pid -o "$T/$name.trace" 2>/dev/null
    kill -9 $pid 2>/dev/null; wait $pid 2>/dev/null
    awk '{ t=$2; d=$NF; gsub(/[<>]/,"",d); if (d+0 > 0.5) printf "%.6f\n", t + d }' "$T/$name.trace" >"$T/$name.ticks"
    read -r PERIOD DRIFT NT < <(awk 'NR==1{f=$1} {if (NR>1) {s+=($1-p)*1000-1000; n++} p=$1}
        END{ if (n) printf "%.3f %.2f %d\n", s/n, (p-f)*1000-n*1000, n; else print "nan nan 0" }' "$T/$name.ticks")
    printf '%-7s map %7.2f ms  rss %6.0f KiB  pss %6.0f KiB  idle cpu %6.2f ms/10s  wakeups %3d/10s  tick error %7.3f ms  drift %7.2f ms over %d ticks\n' \
        "$name" "$MAP" "$RSS" "$PSS" "$CPU" "$WAKE" "$PERIOD" "$DRIFT" "$NT"
}

echo "runs per figure: $RUNS (median), idle 10 s, ticks over $TICKS s; $(nproc) cores"
measure xclock xclock -update 1
X=("$MAP" "$RSS" "$PSS" "$CPU" "$WAKE")
measure vreko "$T/vreko"
V=("$MAP" "$RSS" "$PSS" "$CPU" "$WAKE")
awk -v vm="${V[0]}" -v xm="${X[0]}" -v vr="${V[1]}" -v xr="${X[1]}" -v vp="${V[2]}" -v xp="${X[2]}" \
    -v vc="${V[3]}" -v xc="${X[3]}" 'BEGIN{
    printf "ratio vreko/xclock: map %.2fx  rss %.2fx  pss %.2fx  idle cpu %s\n", vm/xm, vr/xr, vp/xp,
           (xc > 0 ? sprintf("%.2fx", vc/xc) : "n/a (xclock 0)") }'
