#!/usr/bin/env bash
# The Windows program under Wine, left alone at the end of its count: the warning's command
# cannot be started and its failure box is never touched. The count goes on behind the box, a
# minute after the warning the action runs once, and the program ends, box and all.
# Usage: tests/wine/test_warning_box.sh path/to/vreko.exe
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/lib.sh"
wine_setup
failing_warning_settings

start_copy vreko.log
VPID=$STARTED
wait_until "$LIMIT" "the window of vreko.exe" wine_window || { cat "$T/vreko.log"; exit 1; }
wait_viewable "$WID" "$LIMIT"
read -r X Y W H < <(geometry "$WID")
wine_focus
key Up
lime() { shot dial && [ "$(colours dial "300x120+$((X + 70))+$((Y + 20))" | awk '$1=="0,255,0"{n=$2} END{print n+0}')" -gt 500 ]; }
wait_until "$LIMIT" "the dial to take the key" lime
key Escape
check "Escape hides the window for the countdown" wait_viewable "$WID" "$LIMIT" no
check "the warning brings the window back" wait_viewable "$WID" "$LIMIT"
WARNED=$(now_ms)
box_up() { BOX=$(titled | grep -vx "$WID" | head -1); [ -n "$BOX" ]; }
check "with the failure box" wait_until "$LIMIT" "the failure box" box_up
log "     the box came $(($(now_ms) - WARNED)) ms after the window"
# The box is moved off the readout, which goes on counting behind it.
xdotool windowmove "$BOX" 0 0
box_aside() { read -r bx by _ < <(geometry "$BOX") && [ $((bx + by)) -lt 100 ]; }
wait_until "$LIMIT" "the box to move aside" box_aside
red() { shot "$1" && [ "$(colours "$1" "300x120+$((X + 70))+$((Y + 20))" | awk '$1=="255,0,0"{n=$2} END{print n+0}')" -gt 500 ]; }
shot_when open-1 red open-1
ticked() { red "$2" && ! same_readout "$1" "$2" >/dev/null; }
check "the red seconds go on behind the open box" wait_until "$LIMIT" "a tick" ticked open-1 open-2
# The action's start is seen as its process appears (cmd.exe then takes a while under Wine
# before it writes its marker).
action_started() { pgrep -f "echo two>>.*$(basename "$T")" >/dev/null; }  # this test's own
check "the action starts with the box still open" wait_until 75 "the action" action_started
ACTED=$(now_ms)
log "     the action started $((ACTED - WARNED)) ms after the warning"
check "a minute after the warning, give or take the machine's load" within $((ACTED - WARNED)) 57000 63000
check "the action writes its marker" wait_file "$T/cmd2.log" "$LIMIT"
check "and the program ends" wait_gone "$VPID" "$LIMIT"
check "the box went with it" test "$(titled | wc -l)" = 0
check "the action ran exactly once" test "$(tr -d '\r' <"$T/cmd2.log" | grep -c '^two')" = 1
finish
