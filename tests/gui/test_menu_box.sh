#!/usr/bin/env bash
# The context menu tries either command; a command that cannot start shows the failure box
# once, and the count keeps its time under it.
. "$(dirname "$0")/lib.sh"
gui_setup
ini 30 1 1 0 0 /nonexistent/warning-command "$T/cmd2.sh"
open_vreko
boxes() { xdotool search --onlyvisible --name '^Vreko$' 2>/dev/null | grep -vx "$WID" | wc -l; }

wait_boxes() {  # wait_boxes count → until that many boxes are shown
    wait_until "$LIMIT" "$1 message boxes" eval '[ "$(boxes)" -eq '"$1"' ]'
}

open_menu $((X + 200)) $((Y + 80))
shot menu
key Down Down Return
check "menu item 2 launches command 2" wait_file "$T/cmd2.marker" "$LIMIT"
check "with its parameter" grep -qx 'end|' "$T/cmd2.marker"
check "the test item changes nothing: the window stays" viewable "$WID"

open_menu $((X + 200)) $((Y + 80))
key Escape
menu_closed
open_menu $((X + 20)) $((Y + 64))   # the menu from the draggable background too
xdotool mousemove 0 0 click 1        # a click elsewhere closes it
menu_closed
check "Escape and a click elsewhere close the menu without launching" [ "$(wc -l <"$T/cmd2.marker")" -eq 1 ]
check "and without a message" [ "$(boxes)" -eq 0 ]

open_menu $((X + 200)) $((Y + 80))
key Down Return
check "menu item 1 with a missing program shows the failure box" wait_boxes 1
BOX=$(xdotool search --onlyvisible --name '^Vreko$' 2>/dev/null | grep -vx "$WID" | head -1)
shot box

# A message box as the window manager sees it: a dialog of the main window, of one fixed size,
# that can be neither maximised nor kept minimised.
check "the box is a dialog" bash -c "xprop -id $BOX _NET_WM_WINDOW_TYPE | grep -q '= _NET_WM_WINDOW_TYPE_DIALOG$'"
check "it belongs to the main window" bash -c "xprop -id $BOX WM_TRANSIENT_FOR | grep -qi '# $(printf '0x%x' "$WID")$'"
read -r minw minh maxw maxh < <(xprop -id "$BOX" WM_NORMAL_HINTS |
    awk '/minimum size/{a=$(NF-2); b=$NF} /maximum size/{c=$(NF-2); d=$NF} END{print a, b, c, d}')
check "its smallest size is its largest (${minw}x$minh, ${maxw}x$maxh)" [ -n "$minw" ] && [ "$minw $minh" = "$maxw $maxh" ]
check "the window manager offers no maximising" bash -c "! xprop -id $BOX _NET_WM_ALLOWED_ACTIONS | grep -q MAXIMIZE"
check "it offers closing" bash -c "xprop -id $BOX _NET_WM_ALLOWED_ACTIONS | grep -q _NET_WM_ACTION_CLOSE"
xprop -spy -id "$BOX" WM_STATE >"$T/box-state.log" 2>&1 &
PIDS+=($!)
wait_until "$LIMIT" "xprop to report the state of the box" grep -q 'window state' "$T/box-state.log"
xdotool windowminimize "$BOX"
wait_until "$LIMIT" "the window manager to minimise the box" grep -q 'window state: Iconic' "$T/box-state.log"
box_back() { viewable "$BOX" && xprop -id "$BOX" WM_STATE | grep -q 'window state: Normal'; }
check "a minimised box comes straight back" wait_until "$LIMIT" "the box to come back" box_back
check "and the main window with it" viewable "$WID"
key Return
check "Return closes it" wait_boxes 0
check "the program goes on" alive "$VPID"

# The warning's launch fails: one box, and the count keeps its time while it is open. The
# box is closed twenty seconds later; the count neither jumps nor repeats a step, and the
# action comes a minute after the warning.
xdotool mousemove 0 0
key Up
key Escape
check "the warning brings the window back" wait_viewable "$WID" "$LIMIT"
WARNED=$(now_ms)
check "with the failure box" wait_boxes 1
BOX=$(xdotool search --onlyvisible --name '^Vreko$' 2>/dev/null | grep -vx "$WID" | head -1)
xdotool windowmove "$BOX" 0 0  # off the readout, which shows behind it
box_aside() { read -r bx by _ < <(geometry "$BOX") && [ $((bx + by)) -lt 100 ]; }
wait_until "$LIMIT" "the box to move aside" box_aside
shot_when held1 shows held1 255,0,0 1000
ticked() { shot "$2" && ! same_readout "$1" "$2" >/dev/null && shows "$2" 255,0,0 1000; }
check "the count goes on while the box is open" wait_until "$LIMIT" "a tick" ticked held1 held2
twenty_seconds() { [ "$(now_ms)" -ge $((WARNED + 20000)) ]; }
wait_until "$LIMIT" "twenty seconds after the warning" twenty_seconds
check "still one box" [ "$(boxes)" -eq 1 ]
xdotool windowactivate --sync "$BOX" 2>/dev/null
key Return
check "Return closes the box" wait_boxes 0
check "command 2 runs at the end" wait_lines "$T/cmd2.marker" 2 65
ACTED=$(tail -1 "$T/cmd2.time")
log "     the action came $((ACTED - WARNED)) ms after the warning"
check "a minute after the warning, give or take the machine's load" within $((ACTED - WARNED)) 57000 63000
check "and the program ends" wait_gone "$VPID" "$LIMIT"
check "command 2 ran once for the end (and once from the menu)" [ "$(wc -l <"$T/cmd2.marker")" -eq 2 ]
check "no further box was shown" [ "$(boxes)" -eq 0 ]
finish
