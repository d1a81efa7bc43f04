#!/usr/bin/env bash
# The Windows program under Wine beside the floor, a bare Win32 window of its size
# (bench/bare_win32.cpp), and beside Wine's own notepad, all measured the same way in the same
# run: start to window mapped, memory, and wake-ups and CPU time while idle; and the size of
# vreko.exe. A private Xvfb with openbox and a private Wine prefix whose wineserver and desktop
# process run through the whole run; each program is started once before the measured starts,
# so that the first start's cost in a fresh prefix is left out. The machine's speed changes
# from run to run when other work shares it: compare the ratios within one run, not figures
# across runs. Prints figures; asserts nothing.
#   bench/wine_startup_idle.sh [windows-build-dir] [starts] [linux-build-dir] [idle-rounds]
# The Linux build provides vreko_maptime (exec to first window mapped on the X display).
set -u
cd "$(dirname "$0")/.."
WBUILD=${1:-build-win}
RUNS=${2:-11}
LBUILD=${3:-build}
ROUNDS=${4:-3}
IDLE=10
LOAD_START=$(cut -d' ' -f1-3 /proc/loadavg)  # before anything of the run
EXE=$WBUILD/vreko.exe
BARE=$WBUILD/vreko_bare_win32.exe
MAPTIME=$LBUILD/vreko_maptime
command -v wine wineserver xdotool strace >/dev/null || { echo "needs wine, xdotool and strace"; exit 1; }
for b in "$WBUILD" "$LBUILD"; do
    [ -f "$b/CMakeCache.txt" ] || { echo "configure $b first (see the README)"; exit 1; }
done
echo "building vreko.exe, the bare window and the Linux timer" >&2
cmake --build "$WBUILD" -j2 --target vreko vreko_bare_win32 >/dev/null &&
    cmake --build "$LBUILD" -j2 --target vreko_maptime >/dev/null || exit 1

T=$(mktemp -d /tmp/vreko-wine-bench-XXXXXX)
source bench/lib.sh
# Wine's processes of this prefix go with its server, then the X server.
cleanup() {
    wineserver -k >/dev/null 2>&1
    stop_display
    rm -rf "$T"
}
trap cleanup EXIT
trap 'exit 143' TERM INT
export HOME=$T/home XDG_RUNTIME_DIR=$T/run XDG_CONFIG_HOME=$T/home/.config
mkdir -p "$T/home" "$T/run" "$T/app" && chmod 700 "$T/run"
start_display -dpi 96

export WINEPREFIX=$T/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
echo "making the Wine prefix" >&2
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
cp "$BARE" "$T/app/vreko_bare_win32.exe"
# Never hides by itself, so it idles on its one-second idle timer; no command to launch.
printf '[Timer]\r\nTimePause=-1\r\n[AppStart]\r\nFileName1=\r\nFileName2=\r\n' >"$T/app/Vreko.INI"

NAMES=(bare vreko notepad)
declare -A CMD=([bare]=$T/app/vreko_bare_win32.exe [vreko]=$T/app/vreko.exe [notepad]='C:\windows\system32\notepad.exe')
TITLES=(bare vreko.exe notepad)
declare -A EXE_NAME=([bare]=vreko_bare_win32.exe [vreko]=vreko.exe [notepad]=notepad.exe)
# Where the pointer rests on each window, from its centre: on vreko's readout, right of the
# button column.
declare -A RESTS_AT=([bare]=0 [vreko]=60 [notepad]=0)
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

start() {  # start name → "ms pid" of one start of the program, pid the process running it
    local out
    out=$("$MAPTIME" wine "${CMD[$1]}")
    echo "${out% *} $(program_pid "${out#* }" "${EXE_NAME[$1]}")"
}

starts() {  # every program started RUNS times, taking turns, so that a change of load falls on all
    local r name ms pid
    # The pointer rests in the corner, away from every window.
    xdotool mousemove 1279 1023
    # Warm-up: the first start of each program in the prefix also starts Wine's own services.
    for name in "${NAMES[@]}"; do read -r ms pid < <(start $name); end_program "$pid"; done
    for r in $(seq "$RUNS"); do
        echo "starts: round $r of $RUNS" >&2
        for name in "${NAMES[@]}"; do
            read -r ms pid < <(start $name)
            sleep 1
            V[$name.map]+="$ms "
            V[$name.rss]+="$(kib Rss "$pid") "
            V[$name.pss]+="$(kib Pss "$pid") "
            end_program "$pid"
        done
    done
}

idle_rounds() {  # idle_rounds name pid where → ROUNDS of: CPU time and switches over IDLE seconds, then wake-ups over IDLE more under strace
    local c0 v0 r
    for r in $(seq "$ROUNDS"); do
        c0=$(cpu_ms "$2"); v0=$(vcs "$2")
        sleep "$IDLE"
        V[$1.cpu_$3]+="$(awk -v a="$c0" -v b="$(cpu_ms "$2")" 'BEGIN{printf "%.2f", b-a}') "
        V[$1.vcs_$3]+="$(($(vcs "$2") - v0)) "
        V[$1.wake_$3]+="$(sleeps "$2" "$IDLE") "
    done
}

idle() {  # idle name → idle figures, the pointer away from the window, then resting on it
    local name=$1 ms pid wid X Y WIDTH HEIGHT x y
    echo "idle: $name" >&2
    xdotool mousemove 1279 1023
    read -r ms pid < <(start "$name")
    sleep 2
    V[$name.threads]=$(threads "$pid")
    idle_rounds "$name" "$pid" away
    # Then resting on the window (its centre, plus the offset), after a move onto it.
    wid=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1)
    [ -z "$wid" ] && wid=$(xdotool getactivewindow 2>/dev/null)
    eval "$(xdotool getwindowgeometry --shell "$wid" 2>/dev/null | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
    x=$((X + WIDTH / 2 + ${RESTS_AT[$name]})); y=$((Y + HEIGHT / 2))
    xdotool mousemove "$((x - 5))" "$y" mousemove "$x" "$y"
    sleep 2
    idle_rounds "$name" "$pid" on
    end_program "$pid"
}

starts
for name in "${NAMES[@]}"; do idle "$name"; done
LOAD_END=$(load)

LABEL=40
echo "load at start $LOAD_START, at end $LOAD_END (1, 5 and 15 minutes); $(nproc) cores; $(wine --version 2>/dev/null)"
echo "$RUNS starts of each program, taking turns, after one warm-up start each; idle: $ROUNDS × ($IDLE s"
echo "counted, then $IDLE s under strace), the pointer away from the window, then resting on it"
printf 'size: vreko.exe %d KiB, the bare window %d KiB\n' "$(($(stat -c %s "$EXE") / 1024))" "$(($(stat -c %s "$BARE") / 1024))"
ratios "map:start to window mapped" "rss:memory, RSS" "pss:memory, PSS" "cpu_away:idle CPU time, pointer away" \
    "cpu_on:idle CPU time, pointer on the window"
echo "vreko.exe to notepad: start $(ratio map vreko notepad), RSS $(ratio rss vreko notepad), PSS $(ratio pss vreko notepad)"
columns "median [least, most]" "${TITLES[@]}"
row "start to window mapped, ms" map %.1f
row "memory, RSS, KiB" rss %.0f
row "memory, PSS, KiB" pss %.0f
row "pointer away: CPU time, ms/${IDLE} s" cpu_away %.2f
row "  voluntary switches/${IDLE} s" vcs_away %.0f
row "  wake-ups (strace)/${IDLE} s" wake_away %.0f
row "pointer on the window: CPU, ms/${IDLE} s" cpu_on %.2f
row "  voluntary switches/${IDLE} s" vcs_on %.0f
row "  wake-ups (strace)/${IDLE} s" wake_on %.0f
columns "  threads" "${V[bare.threads]:-}" "${V[vreko.threads]:-}" "${V[notepad.threads]:-}"
echo "memory is that of the process running the program; the wineserver and Wine's service"
echo "processes (explorer.exe, services.exe, ...) serve every program and are not counted; a"
echo "wake-up is a wait of 1 ms or more that ended; voluntary switches also count each of"
echo "Wine's synchronous calls to its wineserver that had to wait for the answer"
for name in "${NAMES[@]}"; do echo "$name, each start in order (ms): ${V[$name.map]}"; done
