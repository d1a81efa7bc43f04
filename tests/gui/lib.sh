# Shared helpers of the GUI tests: a private Xvfb with openbox, a private copy of the program
# with its own settings file, screenshots and pixel reads. Source it; then call gui_setup.
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

cleanup() {
    local p
    for p in "${PIDS[@]}"; do kill -9 "$p" 2>/dev/null; done
    pkill -9 -f "$T/app/vreko" 2>/dev/null
    [ -n "${KEEP_SHOTS:-}" ] && cp "$T"/*.png "$KEEP_SHOTS"/ 2>/dev/null
    rm -rf "$T"
}

gui_setup() {
    T=$(mktemp -d /tmp/vreko-gui-XXXXXX)
    trap cleanup EXIT
    mkdir -p "$T/app" "$T/home" "$T/run"
    chmod 700 "$T/run"
    export HOME=$T/home XDG_RUNTIME_DIR=$T/run XDG_CONFIG_HOME=$T/home/.config
    cp "$VREKO_BIN" "$T/app/vreko"
    # A free display number of our own.
    local n
    for n in $(seq 70 130); do
        [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ] || break
    done
    export DISPLAY=:$n
    Xvfb "$DISPLAY" -screen 0 ${SCREEN:-1280x1024x24} -wr -nolisten tcp -dpi ${DPI:-96} >"$T/xvfb.log" 2>&1 &
    PIDS+=($!)
    local i
    for i in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
    if [ -z "${NO_WM:-}" ]; then
        openbox --sm-disable >"$T/openbox.log" 2>&1 &
        PIDS+=($!)
        for i in $(seq 100); do
            xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
            sleep 0.05
        done
    fi
    marker_script cmd1
    marker_script cmd2
    xdotool mousemove 0 0  # the pointer rests away from the window unless a test moves it
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
    printf '#!/bin/sh\nprintf "%%s|" "$@" >> "%s/%s.marker"\necho >> "%s/%s.marker"\n' "$T" "$1" "$T" "$1" >"$T/$1.sh"
    chmod +x "$T/$1.sh"
}

start_vreko() {  # start_vreko → sets VPID and WID (the main window)
    (cd "$T" && exec "$T/app/vreko" >>"$T/vreko.log" 2>&1) &
    VPID=$!
    PIDS+=($VPID)
    WID=""
    local i
    for i in $(seq 100); do
        WID=$(xdotool search --onlyvisible --classname --pid "$VPID" '^vreko$' 2>/dev/null | head -1)
        [ -n "$WID" ] && break
        sleep 0.05
    done
    [ -n "$WID" ]
}

open_vreko() {  # start_vreko, wait for the window, set X Y W H; the test ends if none appears
    start_vreko && wait_viewable "$WID" 5 || { log "no window appeared"; cat "$T/vreko.log"; exit 1; }
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

viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }

wait_viewable() {  # wait_viewable wid seconds [yes|no]
    local want=${3:-yes} i
    for i in $(seq $(($2 * 20))); do
        if viewable "$1"; then [ "$want" = yes ] && return 0; else [ "$want" = no ] && return 0; fi
        sleep 0.05
    done
    return 1
}

geometry() {  # prints "x y w h" of a window in root coordinates
    xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width:/{w=$2} /Height:/{h=$2} END{print x, y, w, h}'
}

shot() {  # shot name → $T/name.png of the whole screen
    sleep ${SETTLE:-0.3}
    import -window root "$T/$1.png" 2>/dev/null
}

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
