#!/usr/bin/env bash
# A second start restores a minimised window: the running copy's window comes back from the
# taskbar, in front and active, where it was, and the keys dial it again.
. "$(dirname "$0")/lib.sh"
gui_setup
ini 600 1
open_vreko
shot_until start shows start 255,255,0 1500
key Up
check "dialled" shot_until dialled shows dialled 0,255,0 1000

wm_state() { xprop -id "$WID" WM_STATE 2>/dev/null | awk '/window state:/{print $3}'; }
active_window() { xprop -root _NET_ACTIVE_WINDOW 2>/dev/null | grep -o '0x[0-9a-f]*' | head -1; }
is_active() { [ "$(active_window)" = "$(printf '0x%x' "$WID")" ]; }
xdotool windowminimize "$WID"
check "the window manager minimises it" wait_until "$LIMIT" "the window to be iconic" eval '[ "$(wm_state)" = Iconic ]'
check "and it is off the screen" wait_viewable "$WID" "$LIMIT" no

(cd "$T" && exec "$T/app/vreko" >>"$T/vreko.log" 2>&1) &
second=$!
check "a second start ends" wait_gone "$second" "$LIMIT"
check "the window is restored" wait_until "$LIMIT" "the window to be normal again" eval '[ "$(wm_state)" = Normal ]' || finish
check "and on the screen" wait_viewable "$WID" "$LIMIT"
check "and the active window" wait_until "$LIMIT" "the window to be active" is_active
read -r X1 Y1 _ < <(geometry "$WID")
check "where it was ($X1,$Y1)" [ "$X1 $Y1" = "$X $Y" ]
check "showing what it showed" shot_until back shows back 0,255,0 1000
key Up
dialled_on() { shows dialled2 0,255,0 1000 && ! same_readout dialled2 back >/dev/null; }
check "the keys dial it" shot_until dialled2 dialled_on
check "the running copy still runs" alive "$VPID"
finish
