#!/usr/bin/env bash
# The context menu tries either command; a command that cannot start shows the failure box
# once, the count waits under it and goes on after it is closed.
. "$(dirname "$0")/lib.sh"
gui_setup
ini 30 1 1 0 0 /nonexistent/warning-command "$T/cmd2.sh"
open_vreko
boxes() { xdotool search --onlyvisible --name '^Vreko$' 2>/dev/null | grep -vx "$WID" | wc -l; }
wait_boxes() {  # wait_boxes count seconds
    local i
    for i in $(seq $(($2 * 20))); do [ "$(boxes)" -eq "$1" ] && return 0; sleep 0.05; done
    return 1
}

xdotool mousemove $((X + 200)) $((Y + 80)) click 3
sleep 0.5
shot menu
key Down Down Return
check "menu item 2 launches command 2" wait_file "$T/cmd2.marker" 3
check "with its parameter" grep -qx 'end|' "$T/cmd2.marker"
check "the test item changes nothing: the window stays" viewable "$WID"

xdotool mousemove $((X + 200)) $((Y + 80)) click 3
sleep 0.5
key Escape
sleep 0.5
xdotool mousemove $((X + 20)) $((Y + 64)) click 3   # the menu from the draggable background too
sleep 0.5
xdotool mousemove 0 0 click 1                       # a click elsewhere closes it
sleep 0.5
check "Escape and a click elsewhere close the menu without launching" [ "$(wc -l <"$T/cmd2.marker")" -eq 1 ]
check "and without a message" [ "$(boxes)" -eq 0 ]

xdotool mousemove $((X + 200)) $((Y + 80)) click 3
sleep 0.5
key Down Return
check "menu item 1 with a missing program shows the failure box" wait_boxes 1 3
shot box
key Return
check "Return closes it" wait_boxes 0 3
check "the program goes on" alive "$VPID"

# The warning's launch fails: one box, the count waits for it, then goes on to the end.
xdotool mousemove 0 0
key Up
key Escape
check "the warning brings the window back" wait_viewable "$WID" 3
check "with the failure box" wait_boxes 1 3
sleep 3
check "three seconds later there is still one box" [ "$(boxes)" -eq 1 ]
shot held1
sleep 1.5
shot held2
check "the count waits while the box is open" same_readout held1 held2
key Return
check "the box closes" wait_boxes 0 3
sleep 2.5
shot goes-on
check "after it the count goes on" bash -c "! same_readout held2 goes-on >/dev/null"
check "command 2 runs at the end" wait_lines "$T/cmd2.marker" 2 65
check "and the program ends" wait_gone "$VPID" 5
check "no further box was shown" [ "$(boxes)" -eq 0 ]
finish
