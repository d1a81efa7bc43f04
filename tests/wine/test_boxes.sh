#!/usr/bin/env bash
# The Windows program under Wine: the failure box for a program that cannot be started (shown
# once, with the keyboard, the count keeping its time behind it), the context menu, and a
# second start that leaves the first copy alone on the screen.
# Usage: tests/wine/test_boxes.sh path/to/vreko.exe
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/lib.sh"
wine_setup
failing_warning_settings

close_box() {  # presses the default button, OK, of the box $BOX from the keyboard, which the
    # box has without being clicked (not by a click either: on a loaded machine Wine can leave
    # a box larger than its contents, its button no longer at the bottom)
    [ -n "$BOX" ] || return 1
    wait_until "$LIMIT" "the box to have the keyboard" eval '[ "$(xdotool getwindowfocus 2>/dev/null)" = "$BOX" ]' ||
        return 1
    key Return
}
window_count() { [ "$(titled | wc -l)" = "$1" ]; }

(cd "$T" && exec wine "$T/app/vreko.exe" >>"$T/vreko.log" 2>&1) &
VPID=$!
PIDS+=($VPID)
wait_until "$LIMIT" "the window of vreko.exe" wine_window || { cat "$T/vreko.log"; exit 1; }
wait_viewable "$WID" "$LIMIT"
read -r X Y W H < <(geometry "$WID")

# A second copy finds the first, brings it forward and ends; one window stays.
(cd "$T" && exec wine "$T/app/vreko.exe" >>"$T/vreko2.log" 2>&1) &
SECOND=$!
PIDS+=($SECOND)
check "a second copy ends by itself" wait_gone "$SECOND" "$LIMIT"
check "the first copy goes on" alive "$VPID"
check "one window of the program is on the screen" window_count 1

# The context menu: a right click on the readout opens the system's pop-up menu (a window
# Wine maps without the window manager) at the pointer; a click outside closes it, a click
# on its first item runs the first command.
override_windows() {  # the viewable windows that bypass the window manager, one a line
    local w
    for w in $(xwininfo -root -children 2>/dev/null | awk '/^ +0x/{print $1}'); do
        xwininfo -id "$w" 2>/dev/null | grep -q 'Override Redirect State: yes' && viewable "$w" && echo "$w"
    done
}
menu_up() { MENU=$(override_windows | grep -vxF -f "$T/before" | head -1); [ -n "$MENU" ]; }
override_windows >"$T/before"
xdotool mousemove $((X + 200)) $((Y + 80)) click 3
check "a right click opens the menu" wait_until "$LIMIT" "the menu" menu_up
# The press outside closes the menu; its release comes only once the menu is gone, so it goes
# to the desktop and the program never sees it (as when the hand is slower than the menu).
xdotool mousemove 5 5 mousedown 1
check "a press outside closes the menu" wait_until "$LIMIT" "the menu to close" eval '! menu_up'
xdotool mouseup 1
check "the window stays after the menu" viewable "$WID"
# The missing release must not turn the next right press on the readout into a move: the
# window would follow the pointer, and the menu would never get the click.
xdotool mousemove $((X + 200)) $((Y + 80)) click 3
check "a second right click opens the menu" wait_until "$LIMIT" "the menu" menu_up
read -r MX MY MW MH < <(geometry "$MENU")
# The first item is chosen once the menu is drawn and shows it highlighted under the pointer
# (the second item keeps the menu's own colour).
xdotool mousemove $((MX + MW / 2)) $((MY + MH / 4))
highlighted() {
    shot item || return 1
    local first second
    first=$(pixel item $((MX + 5)) $((MY + MH / 4)))
    second=$(pixel item $((MX + 5)) $((MY + MH * 3 / 4)))
    [ "$second" != 0,0,0 ] && [ "$first" != "$second" ]
}
check "the pointer highlights the first item" wait_until "$LIMIT" "the first item to be highlighted" highlighted
check "the window stays in place while the pointer moves" test "$(geometry "$WID")" = "$X $Y $W $H"
xdotool click 1
check "the menu's first item runs the failing first command: its box appears" wait_until "$LIMIT" "the failure box" window_count 2
BOX=$(titled | grep -vx "$WID" | head -1)
close_box
check "Return closes the box" wait_until "$LIMIT" "the box to close" window_count 1

# The warning's command cannot be started: one box, titled like the program, over the window.
wine_focus
key Up
wait_until "$LIMIT" "the dial to take the key" eval 'shot dial && [ "$(colours dial "300x120+$((X + 70))+$((Y + 20))" | awk '\''$1=="0,255,0"{n=$2} END{print n+0}'\'')" -gt 500 ]'
key Escape
check "Escape hides the window for the countdown" wait_viewable "$WID" "$LIMIT" no
check "the warning brings the window back" wait_viewable "$WID" "$LIMIT"
WARNED=$(now_ms)
check "the failure box appears" wait_until "$LIMIT" "the failure box" window_count 2
BOX=$(titled | grep -vx "$WID" | head -1)
# The count keeps its time while the box is open: the readout, with the box moved off it,
# goes on counting the red seconds, one box all along.
xdotool windowmove "$BOX" 0 0
box_aside() { read -r bx by _ < <(geometry "$BOX") && [ $((bx + by)) -lt 100 ]; }
wait_until "$LIMIT" "the box to move aside" box_aside
red() { shot "$1" && [ "$(colours "$1" "300x120+$((X + 70))+$((Y + 20))" | awk '$1=="255,0,0"{n=$2} END{print n+0}')" -gt 500 ]; }
shot_when box red box
ticked() { red "$2" && ! same_readout "$1" "$2" >/dev/null; }
check "the count goes on behind the box" wait_until "$LIMIT" "a tick" ticked box box-later
# The box is closed twenty seconds after the warning: the count neither jumps nor repeats a
# step, and the action comes a minute after the warning.
twenty_seconds() { [ "$(now_ms)" -ge $((WARNED + 20000)) ]; }
wait_until "$LIMIT" "twenty seconds after the warning" twenty_seconds
check "only one box" window_count 2
close_box
check "Return closes the box" wait_until "$LIMIT" "the box to close" window_count 1
action_started() { pgrep -f "echo two>>.*$(basename "$T")" >/dev/null; }  # this test's own
check "the action starts at the end of the count" wait_until 75 "the action" action_started
ACTED=$(now_ms)
log "     the action started $((ACTED - WARNED)) ms after the warning"
check "a minute after the warning, give or take the machine's load" within $((ACTED - WARNED)) 57000 63000
check "no second box" test "$(titled | grep -cvx "$WID")" = 0
check "the program ends" wait_gone "$VPID" "$LIMIT"
check "the action writes its marker" wait_file "$T/cmd2.log" "$LIMIT"
check "the action ran once" test "$(tr -d '\r' <"$T/cmd2.log" | grep -c '^two')" = 1

finish
