#!/usr/bin/env bash
# A second start brings the running copy's window forward under a window manager that prevents
# focus stealing (KWin): while it is on screen and another window has the focus, the start
# gives it the focus and keeps it above, and the keys dial it. The start's own time makes the
# request acceptable; where the window manager still refuses, the window is mapped again.
. "$(dirname "$0")/lib.sh"
WM=kwin gui_setup
ini 600 1
open_vreko
shot_until start shows start 255,255,0 1500

focused_on() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }
other_shown() { OTHER=$(xdotool search --name '^vreko-other$' 2>/dev/null | head -1); [ -n "$OTHER" ] && managed "$OTHER"; }
above_other() {  # the window is kept above and lies above the other one
    xprop -id "$WID" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE &&
        xprop -root _NET_CLIENT_LIST_STACKING | tr ',' '\n' | awk '{print $NF}' |
        awk -v o="$(printf '0x%x' "$OTHER")" -v w="$(printf '0x%x' "$WID")" '$1==o{seen=1} $1==w && seen{ok=1} END{exit !ok}'
}

xev -geometry 300x200+20+20 -name vreko-other >/dev/null 2>&1 &
PIDS+=($!)
wait_until "$LIMIT" "the other window" other_shown || exit 1

# Clicks the other window (the user turns to another program), then starts a second copy with
# the given startup id (none when empty) while the window's state is watched.
click_other_then_start() {
    xdotool mousemove 150 100 click 1
    wait_until "$LIMIT" "the other window to take the focus" focused_on "$OTHER" || return 1
    # Each property is read once at the start and again at every change.
    xprop -spy -id "$WID" _NET_WM_STATE >"$T/state-$1.log" 2>&1 &
    SPIES=($!)
    xprop -spy -id "$WID" WM_STATE >"$T/wmstate-$1.log" 2>&1 &
    SPIES+=($!)
    PIDS+=("${SPIES[@]}")
    wait_until "$LIMIT" "the watch on the window's state" eval "[ -s $T/state-$1.log ] && [ -s $T/wmstate-$1.log ]" || return 1
    if [ -n "$2" ]; then
        (cd "$T" && DESKTOP_STARTUP_ID=$2 exec "$T/app/vreko") &
    else
        (cd "$T" && exec "$T/app/vreko") &
    fi
    wait_gone $! "$LIMIT" || log "     the second copy did not end"
}

# The state KWin gives the active window shows in the log after any refusal before it.
activated() { grep -q _NET_WM_STATE_FOCUSED "$T/state-$1.log"; }

click_other_then_start fresh ""
check "a second start gives the shown window the focus" wait_until "$LIMIT" "the focus on the window" focused_on "$WID"
wait_until "$LIMIT" "KWin to show the window active" activated fresh
check "KWin granted the request at once (no demand for attention)" bash -c "! grep -q DEMANDS_ATTENTION $T/state-fresh.log"
check "the window stays above the other one" above_other
key Up
check "a key then dials" shot_until dialled shows dialled 0,255,0 1000
for p in "${SPIES[@]}"; do stop_pid "$p"; done

# A launch whose time lies before the user's click: KWin refuses, the window comes back all
# the same, where it was.
read -r X0 Y0 _ < <(geometry "$WID")
click_other_then_start stale "vreko-test_TIME1"
check "with a launch time KWin refuses, the window still takes the focus" \
    wait_until "$LIMIT" "the focus on the window" focused_on "$WID"
# Withdrawn (the window manager drops WM_STATE) and managed anew (it sets it again).
remapped() { [ "$(grep -c "^WM_STATE" "$T/wmstate-stale.log")" -ge 3 ]; }
check "after KWin refused the request, by a new map" wait_until "$LIMIT" "the window to be mapped again" remapped
read -r X1 Y1 _ < <(geometry "$WID")
check "the window is where it was ($X1,$Y1)" [ "$X1 $Y1" = "$X0 $Y0" ]
check "and above the other one" above_other
key Up
check "a key then dials" shot_until dialled2 shows dialled2 0,255,0 1000
check "the running copy still runs" alive "$VPID"
finish
