#!/usr/bin/env bash
# The Windows program under Wine: the failure box for a program that cannot be started (shown
# once, the count going on after it), the context menu, and a second start that leaves the
# first copy alone on the screen.
# Not yet part of the test command: the check that the menu's first item shows its failure box
# failed once in four runs under Wine; the cause is still to be found.
# Usage: tests/wine/test_boxes.sh path/to/vreko.exe
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/lib.sh"
wine_setup
printf '%s\r\n' "[Timer]" "TimePause=600" "PositionTop=0" "PositionLeft=0" "PositionCenter=1" "Test=1" \
    "[AppStart]" "FileName1=$(winpath "$T/missing/nothing.exe")" "Param1=" \
    "FileName2=C:\\windows\\system32\\cmd.exe" "Param2=/c echo two>>$(winpath "$T/cmd2.log")" \
    "[Text]" "FontName=Arial Black" "FontSize=90" >"$T/app/Vreko.INI"

close_box() {  # presses the OK button at the bottom centre of the box $BOX
    local bx by bw bh
    read -r bx by bw bh < <(geometry "$BOX")
    xdotool mousemove $((bx + bw / 2)) $((by + bh - 20)) click 1
}
titled() { xdotool search --onlyvisible --name '^Vreko$' 2>/dev/null; }
wine_window() { WID=$(titled | head -1); [ -n "$WID" ]; }
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
override_windows() {
    local w n=0
    for w in $(xwininfo -root -children 2>/dev/null | awk '/^ +0x/{print $1}'); do
        xwininfo -id "$w" 2>/dev/null | grep -q 'Override Redirect State: yes' && viewable "$w" && n=$((n + 1))
    done
    echo "$n"
}
menu_up() { [ "$(override_windows)" -gt "$BEFORE" ]; }
BEFORE=$(override_windows)
xdotool mousemove $((X + 200)) $((Y + 80)) click 3
check "a right click opens the menu" wait_until "$LIMIT" "the menu" menu_up
xdotool mousemove 5 5 click 1
check "a click outside closes the menu" wait_until "$LIMIT" "the menu to close" eval '! menu_up'
check "the window stays after the menu" viewable "$WID"
xdotool mousemove $((X + 200)) $((Y + 80)) click 3
wait_until "$LIMIT" "the menu" menu_up
# The item is chosen once the menu shows it highlighted under the pointer.
xdotool mousemove $((X + 230)) $((Y + 90))
highlighted() { shot item && [ "$(pixel item $((X + 204)) $((Y + 90)))" != 255,255,255 ]; }
wait_until "$LIMIT" "the first item to be highlighted" highlighted
xdotool click 1
check "the menu's first item runs the failing first command: its box appears" wait_until "$LIMIT" "the failure box" window_count 2
BOX=$(titled | grep -vx "$WID" | head -1)
close_box
check "the box closes" wait_until "$LIMIT" "the box to close" window_count 1

# The warning's command cannot be started: one box, titled like the program, over the window.
xdotool windowactivate --sync "$WID" 2>/dev/null || xdotool windowfocus "$WID"
key Up
wait_until "$LIMIT" "the dial to take the key" eval 'shot dial && [ "$(colours dial "300x120+$((X + 70))+$((Y + 20))" | awk '\''$1=="0,255,0"{n=$2} END{print n+0}'\'')" -gt 500 ]'
key Escape
check "the failure box appears" wait_until "$LIMIT" "the failure box" window_count 2
BOX=$(titled | grep -vx "$WID" | head -1)
shot box
# The count stands while the box is open: the readout is the same two shots in a row with
# the box up, and after the box closes it moves on.
check "only one box" window_count 2
close_box
check "the box closes" wait_until "$LIMIT" "the box to close" window_count 1
shot_until after-box true
ticked() { shot "$2" && ! same_readout "$1" "$2" >/dev/null; }
check "the count goes on after the box" wait_until "$LIMIT" "a tick" ticked after-box after-box-1
check "no second box" window_count 1
check "the second command has not run" absent "$T/cmd2.log"

finish
