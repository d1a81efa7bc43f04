#!/usr/bin/env bash
# A fixed place from the settings, a drag by the background, and the idle end.
. "$(dirname "$0")/lib.sh"
gui_setup
ini 2 0 0 100 50
started=$(date +%s.%N)
open_vreko
check "window placed at 100,50 from the settings" [ "$X $Y" = "100 50" ]

# Untouched with TimePause 2 the program ends on the third idle tick of its own clock, never
# sooner than 3 s after it was started (a loaded machine only makes it later).
check "it ends on its own after the idle pause" wait_gone "$VPID" "$LIMIT"
lived=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')
check "not before its third idle tick (it lived $lived s)" awk -v t="$lived" 'BEGIN { exit !(t >= 3) }'
check "nothing was launched" absent "$T/cmd1.marker" "$T/cmd2.marker"

# Dragging the bare background moves the window; it keeps that place when hidden and shown.
ini 30 0 0 100 50
open_vreko
# The pauses inside a drag are the pace of the hand, not waits.
xdotool mousemove 104 114 mousedown 1 sleep 0.2 mousemove 150 150 sleep 0.1 mousemove 304 314 sleep 0.2 mouseup 1
at() { read -r X Y W H < <(geometry "$WID"); [ "$X $Y" = "$1" ]; }
check "background drag moved the window to 300,250" wait_until "$LIMIT" "the window at 300 250" at "300 250"
xdotool mousemove 500 400 mousedown 1 sleep 0.2 mousemove 520 420 sleep 0.1 mousemove 560 430 sleep 0.2 mouseup 1
check "dragging by the readout moved it too" wait_until "$LIMIT" "the window at 360 280" at "360 280"
key Up
key Escape
check "Escape with a time dialled hides the window" wait_viewable "$WID" "$LIMIT" no
check "the program keeps counting" alive "$VPID"
(cd "$T" && "$T/app/vreko") &
check "a second start ends" wait_gone $! "$LIMIT"
check "the running copy comes back" wait_viewable "$WID" "$LIMIT"
read -r X3 Y3 W H < <(geometry "$WID")
check "it comes back where it was dragged (got $X3,$Y3)" [ "$X3 $Y3" = "360 280" ]

# The window manager's close request ends the program at once, launching nothing.
key Up
xdotool key alt+F4
check "the close request ends the program" wait_gone "$VPID" "$LIMIT"
check "without launching a command" absent "$T/cmd1.marker" "$T/cmd2.marker"
finish
