#!/usr/bin/env bash
# Nobody is there at the end of the count: the warning's command cannot be started and its
# failure box is never touched. The count goes on behind the box, and a minute after the
# warning the action runs once and the program ends, box and all.
. "$(dirname "$0")/lib.sh"
gui_setup
ini 30 1 1 0 0 /nonexistent/warning-command "$T/cmd2.sh"
open_vreko
boxes() { xdotool search --onlyvisible --name '^Vreko$' 2>/dev/null | grep -vx "$WID" | wc -l; }

xdotool mousemove 0 0
key Up
key Escape
check "Escape hides the window for the countdown" wait_viewable "$WID" "$LIMIT" no
check "the warning brings the window back" wait_viewable "$WID" "$LIMIT"
WARNED=$(now_ms)
check "with the failure box" wait_until "$LIMIT" "the failure box" eval '[ "$(boxes)" -eq 1 ]'
BOX=$(xdotool search --onlyvisible --name '^Vreko$' 2>/dev/null | grep -vx "$WID" | head -1)
# The box is moved off the readout (by the window system, as a user would drag it), so that
# the count shows behind it.
xdotool windowmove "$BOX" 0 0
box_aside() { read -r bx by _ < <(geometry "$BOX") && [ $((bx + by)) -lt 100 ]; }
wait_until "$LIMIT" "the box to move aside" box_aside
shot_when open-1 shows open-1 255,0,0 1000
ticked() { shot "$2" && ! same_readout "$1" "$2" >/dev/null && shows "$2" 255,0,0 1000; }
check "the red seconds go on behind the open box" wait_until "$LIMIT" "a tick" ticked open-1 open-2
check "the action runs with the box still open" wait_file "$T/cmd2.marker" 75
ACTED=$(head -1 "$T/cmd2.time")
log "     the action came $((ACTED - WARNED)) ms after the warning"
check "a minute after the warning, give or take the machine's load" within $((ACTED - WARNED)) 57000 63000
check "and the program ends" wait_gone "$VPID" "$LIMIT"
check "the box went with it" [ "$(xdotool search --onlyvisible --name '^Vreko$' 2>/dev/null | wc -l)" -eq 0 ]
check "the action ran exactly once" [ "$(wc -l <"$T/cmd2.marker")" -eq 1 ]
finish
