#!/usr/bin/env bash
# A settings error at a later key (the idle pause of 10 s is loaded, the placement fails): the box
# comes first, and once it is closed the window shows and stays for the whole pause, as after
# any input, before the program ends by itself with nothing dialled.
. "$(dirname "$0")/lib.sh"
gui_setup
ini 10 0 1 0 abc
launch_vreko
BOX=""
check "the bad PositionTop gives a message box" wait_until "$LIMIT" "a message box" box
[ -n "$BOX" ] || { cat "$T/vreko.log"; finish; }
focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$BOX" ]; }
wait_until "$LIMIT" "the box to have the keyboard" focused
closed_at=$(now_ms)
key Return
check "Return closes the box" wait_until "$LIMIT" "the box to close" eval '! viewable "$BOX"'
check "then the main window shows" wait_until "$LIMIT" "the main window" eval 'main_window && viewable "$WID"'
# The program would end within a second or two if the return to the window did not count: it
# is still there, shown, well after that.
runs_for() {  # runs_for seconds → the program stays alive that long
    local end=$(($(now_ms) + $1 * 1000))
    while [ "$(now_ms)" -lt "$end" ]; do alive "$VPID" || return 1; sleep 0.05; done
}
check "it runs on for 4 s after the box closed" runs_for 4
check "and its window is shown" viewable "$WID"
check "it ends by itself after the pause" wait_gone "$VPID" "$LIMIT"
ended_at=$(now_ms)
# The window hides on the eleventh idle tick after the box closed: more than ten seconds.
check "not before the whole pause of 10 s ($((ended_at - closed_at)) ms)" [ $((ended_at - closed_at)) -ge 10000 ]
finish
