#!/usr/bin/env bash
# The Windows program under Wine: the window's size and place, the settings file completed
# at the first start, the keyboard reaching the timer, Escape hiding, and a test-mode minute
# to its end: the warning's command, then the action's, each once.
# Usage: tests/wine/test_smoke.sh path/to/vreko.exe
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/lib.sh"
wine_setup

# Only part of the settings: the program writes the rest. The commands are Windows' own
# shell writing marker files.
{ printf '%s\r\n' "[Timer]" "TimePause=600" "Test=1" "[AppStart]"; commands; } >"$T/app/Vreko.INI"

log "starting vreko.exe"
start_copy vreko.log
VPID=$STARTED
check "the main window appears" wait_until "$LIMIT" "the window of vreko.exe" wine_window
[ -n "$WID" ] || { cat "$T/vreko.log"; finish; }
# Wine may replace the X window behind the Win32 window while it starts: the window is taken
# once the screen shows its first paint, and looked up again whenever it is used.
readout_crop() { echo "300x120+$((X + 70))+$((Y + 20))"; }
colour_count() { colours "$1" "$(readout_crop)" | awk -v c="$2" '$1==c{n=$2} END{print n+0}'; }
painted() {
    wine_window && viewable "$WID" && read -r X Y W H < <(geometry "$WID") && shot start &&
        [ "$(colour_count start 255,255,0)" -gt 500 ]
}
check "the window is painted" wait_until "$LIMIT" "the first paint of the window" painted || { cat "$T/vreko.log"; finish; }
log "     window $WID at $X,$Y size ${W}x$H"
check "the window is 392x166" test "$W $H" = "392 166"
check "the window is centred on the 1280x1024 screen" test "$X $Y" = "$(((1280 - 392) / 2)) $(((1024 - 166) / 2))"
check "only one window of the program is visible" test "$(xdotool search --onlyvisible --name '^Vreko$' | wc -l)" = 1

setting() {  # setting key → its value in the settings file (Wine rewrites the file: compare values)
    tr -d '\r' <"$T/app/Vreko.INI" | sed -n "s/^$1=//p" | head -1
}
completed() {
    local k
    for k in TimePause PositionTop PositionLeft PositionCenter Test FileName1 Param1 FileName2 Param2 FontName FontSize; do
        grep -q "^$k=" <(tr -d '\r' <"$T/app/Vreko.INI") || return 1
    done
}
check "the settings file is completed" wait_until "$LIMIT" "the settings file to be completed" completed
check "the user's settings are kept" test "$(setting TimePause)" = 600
check "missing settings get the Windows defaults" test "$(setting PositionCenter)|$(setting FontName)|$(setting FontSize)" = \
    '1|Arial Black|90'

# The readout shows "OFF" in yellow at start; a key press sets a time, shown in lime.
yellow_readout() { [ "$(colour_count start 255,255,0)" -gt 500 ]; }
check "the readout shows OFF in yellow" shot_until start yellow_readout
check "the corners are cut (the root shows there)" test "$(pixel start "$X" "$Y")" = 255,255,255
check "inside the corner the window is black" test "$(pixel start $((X + 12)) $((Y + 12)))" = 0,0,0
check "the window takes the focus" wine_focus
key Up
lime_readout() { shot after-up && [ "$(colour_count after-up 0,255,0)" -gt 500 ]; }
check "the Up key sets a time, shown in lime" wait_until "$LIMIT" "a lime readout" lime_readout
key Escape
check "Escape hides the counting window" wait_viewable "$WID" "$LIMIT" no
check "the program goes on while hidden" alive "$VPID"

# In test mode the dial's first step is one minute: the warning is due at the first tick. The
# window comes back and the first command runs once; the second is not due yet.
check "the warning shows the window again" wait_viewable "$WID" "$LIMIT"
check "the first command runs" wait_file "$T/cmd1.log" "$LIMIT"
# Two more ticks of the count, seen on the readout, before the commands are counted.
ticked() { shot "$2" && ! same_readout "$1" "$2" >/dev/null; }
shot warn-0  # the seconds change: no two shots in a row are the same
check "the count goes on after the warning" wait_until "$LIMIT" "a tick" ticked warn-0 warn-1
wait_until "$LIMIT" "a second tick" ticked warn-1 warn-2
check "the first command ran once" test "$(tr -d '\r' <"$T/cmd1.log" | grep -c '^one')" = 1
check "the second command has not run" absent "$T/cmd2.log"
check "the last minute counts in red" shows warn-2 255,0,0 500

# The last minute runs out: the second command runs once and the program ends.
check "the second command runs at the end of the count" wait_file "$T/cmd2.log" $((LIMIT * 3))
check "and the program ends" wait_gone "$VPID" "$LIMIT"
check "the first command ran once in all" test "$(tr -d '\r' <"$T/cmd1.log" | grep -c '^one')" = 1
check "the second command ran once" test "$(tr -d '\r' <"$T/cmd2.log" | grep -c '^two')" = 1

finish
