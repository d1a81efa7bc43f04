#!/usr/bin/env bash
# The Windows program under Wine beside Wine's own notepad, both measured the same way in the
# same run: start to window mapped, memory, and wake-ups and CPU time over 10 idle seconds; and
# the size of vreko.exe. A private Xvfb with openbox and a private Wine prefix whose wineserver
# and desktop process run through the whole run; each program is started once before the
# measured starts, so that the first start's cost in a fresh prefix is left out. Prints
# figures; asserts nothing.
#   bench/wine_startup_idle.sh [windows-build-dir] [runs] [linux-build-dir]
# The Linux build provides vreko_maptime (exec to first window mapped on the X display).
set -u
cd "$(dirname "$0")/.."
WBUILD=${1:-build-win}
RUNS=${2:-11}
LBUILD=${3:-build}
EXE=$WBUILD/vreko.exe
MAPTIME=$LBUILD/vreko_maptime
IDLE=10
[ -f "$EXE" ] || { echo "build vreko.exe first: cmake --build $WBUILD"; exit 1; }
[ -x "$MAPTIME" ] || { echo "build the Linux helper first: cmake --build $LBUILD --target vreko_maptime"; exit 1; }
command -v wine wineserver xdotool strace >/dev/null || { echo "needs wine, xdotool and strace"; exit 1; }

T=$(mktemp -d /tmp/vreko-wine-bench-XXXXXX)
PIDS=()
stop() { kill -TERM "$1" 2>/dev/null; for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done; kill -9 "$1" 2>/dev/null; }
# Wine's processes of this prefix go with its server; the X server last, with SIGTERM, so
# that it removes its lock file and socket.
cleanup() {
    wineserver -k >/dev/null 2>&1
    for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do stop "${PIDS[i]}"; done
    rm -rf "$T"
}
trap cleanup EXIT
trap 'exit 143' TERM INT
export HOME=$T/home XDG_RUNTIME_DIR=$T/run XDG_CONFIG_HOME=$T/home/.config
mkdir -p "$T/home" "$T/run" "$T/app" && chmod 700 "$T/run"
mkfifo "$T/displayfd"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -dpi 96 3>"$T/displayfd" >/dev/null 2>&1 & PIDS+=($!)
read -r -t 30 n <"$T/displayfd" || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=:$n
openbox --sm-disable --startup "touch $T/wm-ready" >/dev/null 2>&1 & PIDS+=($!)
for _ in $(seq 300); do [ -e "$T/wm-ready" ] && break; sleep 0.1; done

export WINEPREFIX=$T/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
echo "making the Wine prefix ($(wine --version 2>/dev/null))"
wineboot -u >/dev/null 2>&1
wineserver -w
wineserver -p  # stays up until the end of the run
# Wine's desktop process (explorer.exe /desktop) ends about a second after the last program
# that uses the desktop, and the next start would start it again. A console shell waiting on
# a pipe keeps the desktop in use, so every measured start finds it running, as it would be
# beside any other Windows program; it is started by the warm-up starts below.
mkfifo "$T/hold"
(exec wine cmd.exe <"$T/hold" >/dev/null 2>&1) &
exec 7>"$T/hold"

cp "$EXE" "$T/app/vreko.exe"
# Never hides by itself, so it idles on its one-second idle timer; no command to launch.
printf '[Timer]\r\nTimePause=-1\r\n[AppStart]\r\nFileName1=\r\nFileName2=\r\n' >"$T/app/Vreko.INI"

median() { sort -n | awk '{a[NR]=$1} END{print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
kib() { awk -v k="$1" '$1==k":"{print $2}' "/proc/$2/smaps_rollup"; }
# All threads of the process: Wine may run helper threads beside the program's own.
cpu_ms() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s+=$1} END{printf "%.3f\n", s/1e6}'; }
vcs() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^voluntary_ctxt_switches/{s+=$2} END{print s+0}'; }
threads() { ls /proc/"$1"/task | wc -l; }
# The process that runs the program: wine execs its loader in place, so it is the process
# started, renamed to the program's path; should Wine ever start it as a child, the child.
program_pid() {  # program_pid started-pid exe-name
    local p
    for p in "$1" $(pgrep -P "$1"); do
        tr '\0' '\n' <"/proc/$p/cmdline" 2>/dev/null | head -1 | grep -qi "$2\$" && { echo "$p"; return; }
    done
    echo "$1"
}
end_program() { kill -9 "$1" 2>/dev/null; for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.05; done; }
# Wake-ups seen by strace: a wait of at least 1 ms that ended. Wine's calls to its server are
# synchronous and count as voluntary context switches too, but return within microseconds.
sleeps() {  # sleeps pid seconds
    timeout "$2" strace -f -T -p "$1" -o "$T/trace" >/dev/null 2>&1
    awk '{d=$NF; gsub(/[<>]/,"",d); if (d+0 >= 0.001) n++} END{print n+0}' "$T/trace"
}

idle() {  # idle pid → "cpu-ms vcs sleeps" over IDLE seconds, then IDLE more under strace
    local c0 v0 c1 v1
    c0=$(cpu_ms "$1"); v0=$(vcs "$1")
    sleep "$IDLE"
    c1=$(cpu_ms "$1"); v1=$(vcs "$1")
    echo "$(awk -v a="$c0" -v b="$c1" 'BEGIN{printf "%.2f", b-a}') $((v1 - v0)) $(sleeps "$1" "$IDLE")"
}

start() {  # start name → "ms pid" of one start of the program, pid the process running it
    local out
    out=$("$MAPTIME" wine "${CMD[$1]}")
    echo "${out% *} $(program_pid "${out#* }" "${EXE_NAME[$1]}")"
}

startup() {  # startup → MAPS RSSS PSSS: the figures of every measured start, by program
    local r name ms pid
    declare -gA MAPS RSSS PSSS
    # The pointer rests in the corner, away from both windows.
    xdotool mousemove 1279 1023
    # Warm-up: the first start of each program in the prefix also starts Wine's own services.
    for name in notepad vreko; do read -r ms pid < <(start $name); end_program "$pid"; done
    # The two programs take turns, so that a change in the machine's load falls on both.
    for r in $(seq "$RUNS"); do
        for name in notepad vreko; do
            read -r ms pid < <(start $name)
            sleep 1
            MAPS[$name]+="$ms "
            RSSS[$name]+="$(kib Rss "$pid") "
            PSSS[$name]+="$(kib Pss "$pid") "
            end_program "$pid"
        done
    done
}

figures() {  # figures name → the startup figures of one program
    local name=$1
    MAP=$(printf '%s\n' ${MAPS[$name]} | median)
    RSS=$(printf '%s\n' ${RSSS[$name]} | median)
    PSS=$(printf '%s\n' ${PSSS[$name]} | median)
    printf '%-8s map %7.1f ms (fastest %6.1f, slowest %6.1f)  rss %6.0f KiB  pss %6.0f KiB\n' "$name" "$MAP" \
        "$(printf '%s\n' ${MAPS[$name]} | sort -n | head -1)" "$(printf '%s\n' ${MAPS[$name]} | sort -n | tail -1)" "$RSS" "$PSS"
    echo "         each start, in order (ms): ${MAPS[$name]}"
}

idle_figures() {  # idle_figures name x-offset → idle figures, pointer away and then resting on the window
    local name=$1 ox=$2 ms pid wid X Y WIDTH HEIGHT x y
    xdotool mousemove 1279 1023
    read -r ms pid < <(start "$name")
    sleep 2
    set -- $(idle "$pid")
    printf '%-8s idle, pointer away:      cpu %6.2f ms/%ss  voluntary switches %4d  wake-ups (strace) %3d/%ss  threads %s\n' \
        "$name" "$1" "$IDLE" "$2" "$3" "$IDLE" "$(threads "$pid")"
    # Then resting on the window (its centre, plus the offset), after a move onto it.
    wid=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1)
    [ -z "$wid" ] && wid=$(xdotool getactivewindow 2>/dev/null)
    eval "$(xdotool getwindowgeometry --shell "$wid" 2>/dev/null | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
    x=$((X + WIDTH / 2 + ox)); y=$((Y + HEIGHT / 2))
    xdotool mousemove "$((x - 5))" "$y" mousemove "$x" "$y"
    sleep 2
    set -- $(idle "$pid")
    printf '%-8s idle, pointer on window: cpu %6.2f ms/%ss  voluntary switches %4d  wake-ups (strace) %3d/%ss\n' \
        "$name" "$1" "$IDLE" "$2" "$3" "$IDLE"
    end_program "$pid"
}

SIZE=$(stat -c %s "$EXE")
STRIPPED=
x86_64-w64-mingw32-strip -o "$T/stripped.exe" "$EXE" 2>/dev/null && STRIPPED=$(stat -c %s "$T/stripped.exe")
[ "$STRIPPED" = "$SIZE" ] && STRIPPED=
echo "starts: $RUNS of each program (median), taking turns, after one warm-up start each;"
echo "idle: ${IDLE} s counted, then ${IDLE} s under strace; $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "memory is that of the process running the program; the wineserver and Wine's service"
echo "processes (explorer.exe, services.exe, ...) are shared by every program and not counted;"
echo "a wake-up is a wait of 1 ms or more that ended (strace); voluntary switches also count"
echo "each of Wine's synchronous calls to its wineserver that had to wait for the answer"
printf 'vreko.exe size: %d bytes (%d KiB)%s\n' "$SIZE" "$((SIZE / 1024))" \
    "${STRIPPED:+, without debug information $STRIPPED bytes ($((STRIPPED / 1024)) KiB)}"
declare -A CMD=([notepad]='C:\windows\system32\notepad.exe' [vreko]=$T/app/vreko.exe)
declare -A EXE_NAME=([notepad]=notepad.exe [vreko]=vreko.exe)
startup
figures notepad
N=("$MAP" "$RSS" "$PSS")
figures vreko
V=("$MAP" "$RSS" "$PSS")
awk -v vm="${V[0]}" -v nm="${N[0]}" -v vr="${V[1]}" -v nr="${N[1]}" -v vp="${V[2]}" -v np="${N[2]}" 'BEGIN{
    printf "ratio vreko/notepad: map %.2fx  rss %.2fx  pss %.2fx\n", vm/nm, vr/nr, vp/np }'
idle_figures notepad 0
# On vreko's window the pointer rests on the readout, right of the button column.
idle_figures vreko 60
