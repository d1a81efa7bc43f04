# Shared helpers of the GUI tests: a private Xvfb with openbox (or KWin, WM=kwin), a private
# copy of the program with its own settings file, screenshots and pixel reads. Source it; then
# call gui_setup.
# Every test writes its own settings; its commands are small scripts that leave marker files.

set -u
VREKO_BIN=${1:?usage: test.sh path/to/vreko}
PASSED=0
FAILED=0
PIDS=()

log() { echo "[$(date +%T.%3N)] $*"; }

check() {  # check "what" command...
    local what=$1
    shift
    if "$@"; then
        PASSED=$((PASSED + 1))
        log "ok   - $what"
    else
        FAILED=$((FAILED + 1))
        log "FAIL - $what"
    fi
}

finish() {
    echo "$PASSED passed, $FAILED failed"
    [ "$FAILED" -eq 0 ]
    exit $?
}

# Every wait below polls its condition every 50 ms up to a limit. The limits are generous (the
# tests run beside compiles and other tests on small machines): they only decide how long a
# broken run takes to fail, never whether a sound one passes.
LIMIT=${GUI_LIMIT:-30}  # seconds for a server, a window manager, a window or a box to appear

wait_until() {  # wait_until seconds "what is awaited" command... → logs the reason on timeout
    local limit=$1 what=$2 end
    shift 2
    # A deadline on the clock, not a count of rounds: a slow condition (a screenshot) must
    # not stretch the limit.
    end=$(($(date +%s%N) / 1000000 + limit * 1000))
    until "$@"; do
        [ "$(($(date +%s%N) / 1000000))" -ge "$end" ] && { log "     gave up after ${limit}s waiting for $what"; return 1; }
        sleep 0.05
    done
    return 0
}

stop_pid() {  # stop_pid pid → SIGTERM, so it can clean up; SIGKILL only if it is still there after 10 s
    kill -0 "$1" 2>/dev/null || return 0
    kill -TERM "$1" 2>/dev/null
    wait_gone "$1" 10 || { log "     $1 ignored SIGTERM; killing it"; kill -KILL "$1" 2>/dev/null; }
    wait "$1" 2>/dev/null
    return 0
}

cleanup() {
    local p i
    # The program's copies first (some were started in subshells and are not in PIDS), then
    # the window manager, the server last: on SIGTERM Xvfb removes its lock file and socket.
    for p in $(pgrep -f "^$T/app/vreko" 2>/dev/null); do stop_pid "$p"; done
    for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do stop_pid "${PIDS[i]}"; done
    [ -n "${KEEP_SHOTS:-}" ] && cp "$T"/*.png "$KEEP_SHOTS"/ 2>/dev/null
    rm -rf "$T"
}

managed() {  # managed wid → the window manager lists the window among its clients
    xprop -root _NET_CLIENT_LIST 2>/dev/null | tr ',' '\n' | grep -qiw "$(printf '0x%x' "$1")"
}

gui_setup() {
    # Settings files as a user with the common umask makes them: one that its group may write
    # is taken for another user's, and gives no command.
    umask 022
    T=$(mktemp -d /tmp/vreko-gui-XXXXXX)
    trap cleanup EXIT
    trap 'exit 143' TERM INT  # a test stopped from outside (a timeout) still cleans up
    mkdir -p "$T/app" "$T/home" "$T/run"
    chmod 700 "$T/run"
    export HOME=$T/home XDG_RUNTIME_DIR=$T/run XDG_CONFIG_HOME=$T/home/.config
    # The program asks the buses to hold sleep while it counts: never the machine's own buses.
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$T/no-session-bus DBUS_SYSTEM_BUS_ADDRESS=unix:path=$T/no-system-bus
    cp "$VREKO_BIN" "$T/app/vreko"
    # The server picks a free display itself and writes its number once it accepts clients.
    mkfifo "$T/displayfd"
    Xvfb -displayfd 3 -screen 0 ${SCREEN:-1280x1024x24} -wr -nolisten tcp -dpi ${DPI:-96} \
        3>"$T/displayfd" >"$T/xvfb.log" 2>&1 &
    PIDS+=($!)
    local n=""
    read -r -t "$LIMIT" n <"$T/displayfd"
    [ -n "$n" ] || { log "Xvfb gave no display within ${LIMIT}s"; cat "$T/xvfb.log"; exit 1; }
    export DISPLAY=:$n
    if [ "${WM:-openbox}" = kwin ]; then
        start_kwin
    elif [ -z "${NO_WM:-}" ]; then
        # openbox names itself on the root before it manages windows: a window mapped in that
        # gap is never managed. Its start-up command runs once it is set up, and a probe
        # window it has listed shows that it takes windows on.
        openbox --sm-disable --startup "touch $T/wm-ready" >"$T/openbox.log" 2>&1 &
        PIDS+=($!)
        wait_until "$LIMIT" "openbox to finish its start-up" test -e "$T/wm-ready" || exit 1
        wm_probe || exit 1
    fi
    marker_script cmd1
    marker_script cmd2
    xdotool mousemove 0 0  # the pointer rests away from the window unless a test moves it
}

start_kwin() {  # KWin on its own session bus; it manages windows once it lists a probe window
    local bus=""
    mkfifo "$T/busfd"
    dbus-daemon --session --nofork --print-address=3 3>"$T/busfd" >"$T/dbus.log" 2>&1 &
    PIDS+=($!)
    read -r -t "$LIMIT" bus <"$T/busfd"
    [ -n "$bus" ] || { log "no session bus within ${LIMIT}s"; cat "$T/dbus.log"; exit 1; }
    export DBUS_SESSION_BUS_ADDRESS=$bus
    QT_QPA_PLATFORM=xcb kwin_x11 >"$T/kwin.log" 2>&1 &
    PIDS+=($!)
    wm_probe || { cat "$T/kwin.log"; exit 1; }
}

probe_listed() {  # the probe window exists and the window manager lists it; sets PROBE
    PROBE=$(xdotool search --name '^vreko-wm-probe$' 2>/dev/null | head -1)
    [ -n "$PROBE" ] && managed "$PROBE"
}

wm_probe() {  # maps a small window until the window manager lists it, then removes it
    # A window mapped while the window manager is still starting may never be managed (KWin):
    # then another one is mapped, until the limit.
    local pid end
    end=$(($(date +%s) + LIMIT))
    while :; do
        xlogo -geometry 16x16+0+0 -title vreko-wm-probe >/dev/null 2>&1 &
        pid=$!
        wait_until 5 "the window manager to manage a probe window" probe_listed && break
        stop_pid "$pid"
        [ "$(date +%s)" -lt "$end" ] || { log "     no window managed within ${LIMIT}s"; return 1; }
    done
    stop_pid "$pid"
    wait_until "$LIMIT" "the probe window to go" eval '! managed "$PROBE"'
}

write_ini() { printf '%s\n' "$1" >"$T/app/Vreko.INI"; }

# A settings file with every key; commands are marker scripts (see marker_script).
ini() {  # ini TimePause Test [PositionCenter PositionLeft PositionTop] [FileName1] [FileName2]
    write_ini "[Timer]
TimePause=$1
PositionTop=${5:-0}
PositionLeft=${4:-0}
PositionCenter=${3:-1}
Test=$2
[AppStart]
FileName1=${6:-$T/cmd1.sh}
Param1=one \"two words\"
FileName2=${7:-$T/cmd2.sh}
Param2=end
[Text]
FontName=Arial Black
FontSize=90"
}

marker_script() {  # marker_script name → $T/name.sh writes its arguments to $T/name.marker
    # and the clock (milliseconds, as now_ms gives it) to $T/name.time, one line a run
    printf '#!/bin/sh\ndate +%%s%%3N >> "%s/%s.time"\nprintf "%%s|" "$@" >> "%s/%s.marker"\necho >> "%s/%s.marker"\n' \
        "$T" "$1" "$T" "$1" "$T" "$1" >"$T/$1.sh"
    chmod +x "$T/$1.sh"
}

now_ms() { date +%s%3N; }

within() {  # within value low high
    [ "$1" -ge "$2" ] && [ "$1" -le "$3" ] || { log "     $1 is not within $2..$3"; return 1; }
}

main_window() {  # the program's main window exists; sets WID
    WID=$(xdotool search --onlyvisible --classname --pid "$VPID" '^vreko$' 2>/dev/null | head -1)
    [ -n "$WID" ]
}

launch_vreko() {  # launch_vreko → starts the program from $T, waiting for nothing; sets VPID
    (cd "$T" && exec "$T/app/vreko" >>"$T/vreko.log" 2>&1) &
    VPID=$!
    PIDS+=($VPID)
}

start_vreko() {  # start_vreko → sets VPID and WID (the main window)
    launch_vreko
    WID=""
    wait_until "$LIMIT" "the main window of the program" main_window
}

box() {  # a message box of the program is shown; sets BOX
    local w
    for w in $(xdotool search --onlyvisible --name '^Vreko$' 2>/dev/null); do
        xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_DIALOG && BOX=$w && return 0
    done
    return 1
}

open_vreko() {  # start_vreko, wait for the window, set X Y W H; the test ends if none appears
    start_vreko && wait_viewable "$WID" "$LIMIT" || { log "no window appeared"; cat "$T/vreko.log"; exit 1; }
    read -r X Y W H < <(geometry "$WID")
}

alive() { kill -0 "$1" 2>/dev/null && ! grep -q '^State:.*Z' "/proc/$1/status" 2>/dev/null; }

wait_gone() {  # wait_gone pid seconds
    local i
    for i in $(seq $(($2 * 20))); do alive "$1" || return 0; sleep 0.05; done
    return 1
}

wait_file() {  # wait_file path seconds
    local i
    for i in $(seq $(($2 * 20))); do [ -s "$1" ] && return 0; sleep 0.05; done
    return 1
}

# xwininfo without an id waits for a click to pick a window: a window that was never found is
# not viewable, and has no geometry.
viewable() { [ -n "$1" ] && xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }

wait_viewable() {  # wait_viewable wid seconds [yes|no]
    local want=${3:-yes} i
    for i in $(seq $(($2 * 20))); do
        if viewable "$1"; then [ "$want" = yes ] && return 0; else [ "$want" = no ] && return 0; fi
        sleep 0.05
    done
    return 1
}

geometry() {  # prints "x y w h" of a window in root coordinates
    [ -n "$1" ] || { log "     no window to measure"; return 1; }
    xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width:/{w=$2} /Height:/{h=$2} END{print x, y, w, h}'
}

shot() {  # shot name → $T/name.png of the whole screen, for a state the screen already shows
    import -window root -define png:exclude-chunk=date,time "$T/$1.png" 2>/dev/null
}

shot_until() {  # shot_until name command... → shoots name until the screen is still and the command holds
    # Input reaches the program and its drawing reaches the screen with no signal to wait
    # for: the shot is taken again until two in a row are the same and show what is expected.
    local name=$1
    shift
    rm -f "$T/$name.png"
    shot_step() {
        [ -e "$T/$name.png" ] && mv "$T/$name.png" "$T/$name.prev.png"
        shot "$name" && cmp -s "$T/$name.png" "$T/$name.prev.png" 2>/dev/null && "$@" >"$T/$name.try" 2>&1
    }
    wait_until "$LIMIT" "the screen ($name) to show: $*" shot_step "$@" || { cat "$T/$name.try" 2>/dev/null; return 1; }
}

shot_when() {  # shot_when name command... → shoots name until the command holds, for a screen
    # that never stands still (the red seconds change every second): no two shots in a row
    # need be the same.
    local name=$1
    shift
    shot_once() { shot "$name" && "$@" >"$T/$name.try" 2>&1; }
    wait_until "$LIMIT" "the screen ($name) to show: $*" shot_once "$@" || { cat "$T/$name.try" 2>/dev/null; return 1; }
}

menu_shown() {  # the program's popup menu is on the screen
    local w
    for w in $(xwininfo -root -children 2>/dev/null | awk '/^ +0x/{print $1}'); do
        xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_POPUP_MENU && viewable "$w" && return 0
    done
    return 1
}

open_menu() {  # open_menu x y → right click there and wait for the menu
    xdotool mousemove "$1" "$2" click 3
    wait_until "$LIMIT" "the popup menu to open" menu_shown
}

menu_closed() { wait_until "$LIMIT" "the popup menu to close" eval '! menu_shown'; }

pixel() {  # pixel name x y → "r,g,b"
    convert "$T/$1.png" -format '%[fx:int(255*p{'"$2"','"$3"'}.r+0.5)],%[fx:int(255*p{'"$2"','"$3"'}.g+0.5)],%[fx:int(255*p{'"$2"','"$3"'}.b+0.5)]' info:
}

is_pixel() {  # is_pixel name x y r,g,b
    local got
    got=$(pixel "$1" "$2" "$3")
    [ "$got" = "$4" ] || { log "     pixel $2,$3 of $1 is $got, expected $4"; return 1; }
}

colours() {  # colours name WxH+X+Y → one "r,g,b count" per line
    convert "$T/$1.png" -crop "$2" +repage -depth 8 -format %c histogram:info:- |
        sed -E 's/^ *([0-9]+): \( *([0-9]+), *([0-9]+), *([0-9]+).*/\2,\3,\4 \1/'
}

key() { xdotool key "$@"; }

label_crop() { echo "320x140+$((X + 60))+$((Y + 12))"; }  # the readout, away from the corners

count_colour() {  # count_colour shot r,g,b → pixels of that colour inside the readout
    colours "$1" "$(label_crop)" | awk -v c="$2" '$1==c{n=$2} END{print n+0}'
}

same_readout() {  # same_readout shotA shotB → the readouts are identical
    local d
    convert "$T/$1.png" -crop "$(label_crop)" +repage "$T/$1.crop.png"
    convert "$T/$2.png" -crop "$(label_crop)" +repage "$T/$2.crop.png"
    d=$(compare -metric AE "$T/$1.crop.png" "$T/$2.crop.png" null: 2>&1)
    [ "${d%% *}" = 0 ] || { log "     readouts of $1 and $2 differ in $d pixels"; return 1; }
}

wait_lines() {  # wait_lines path count seconds → the file has at least count lines
    local i
    for i in $(seq $(($3 * 20))); do
        [ -e "$1" ] && [ "$(wc -l <"$1")" -ge "$2" ] && return 0
        sleep 0.05
    done
    return 1
}

absent() {  # absent path... → none of the files exists
    local f
    for f in "$@"; do [ ! -e "$f" ] || { log "     $f exists"; return 1; }; done
}

shows() {  # shows shot r,g,b min → the readout holds at least min pixels of that colour
    [ "$(count_colour "$1" "$2")" -ge "$3" ]
}

dump_window() {  # dump_window wid name → $T/name.xwd, the window's own pixels (alpha included)
    xwd -id "$1" -silent >"$T/$2.xwd"
}

alpha() {  # alpha name x y → the opacity (0..255) of a pixel of a 32-bit window dump
    local f=$T/$1.xwd hs depth bo bpp bpl rm gm bm nc px a
    # The dump's header: big-endian 32-bit fields; then the colours, 12 bytes each; then rows.
    read -r hs _ _ depth _ _ _ bo _ _ _ bpp bpl _ rm gm bm _ _ nc < <(od -An -tu4 --endian=big -N80 -w80 "$f")
    [ "$depth" = 32 ] && [ "$bpp" = 32 ] || { log "     $1 is a dump of depth $depth"; return 1; }
    px=$(od -An -tu4 --endian="$([ "$bo" = 0 ] && echo little || echo big)" \
        -j $((hs + nc * 12 + $3 * bpl + $2 * 4)) -N4 "$f")
    a=$((px & ~(rm | gm | bm) & 0xFFFFFFFF))
    while [ "$a" -gt 255 ]; do a=$((a >> 8)); done
    echo "$a"
}

is_alpha() {  # is_alpha name x y value
    local got
    got=$(alpha "$1" "$2" "$3") || return 1
    [ "$got" = "$4" ] || { log "     opacity of $2,$3 in $1 is $got, expected $4"; return 1; }
}
