#!/usr/bin/env bash
# Keys, wheel and Escape drive the timer.
. "$(dirname "$0")/lib.sh"
gui_setup
ini 30 0
open_vreko
shot_until off shows off 255,255,0 1500
key Up Up
check "two up-arrow presses show minutes in lime" shot_until up2 shows up2 0,255,0 1000
check "no yellow is left" [ "$(count_colour up2 255,255,0)" -eq 0 ]
key Left Left
check "two left-arrow presses go back to OFF in yellow" shot_until back same_readout off back
key Right
key Down
key Up
key Up
check "right, down, up, up gives the same 20" shot_until keys20 same_readout up2 keys20
key Down Down
xdotool mousemove $((X + 200)) $((Y + 80)) click 4 click 4
xdotool mousemove 0 0
check "two wheel steps away from the user show the same 20" shot_until wheel same_readout up2 wheel
xdotool mousemove $((X + 200)) $((Y + 80)) click 5 click 5 click 5
xdotool mousemove 0 0
new_lime_time() { ! cmp -s "$T/wheel.png" "$T/wheeldown.png" && shows wheeldown 0,255,0 1000; }
check "three wheel steps towards the user leave another time in lime" shot_until wheeldown new_lime_time
key Up
check "one more step up from 120 wraps to OFF" shot_until wrapped same_readout off wrapped
key Down
check "wheel steps down wrapped 20, 10, OFF to 120" shot_until k120 same_readout wheeldown k120
key Escape
check "Escape with a time dialled hides the window" wait_viewable "$WID" "$LIMIT" no
check "the process keeps running" alive "$VPID"
kill "$VPID"

# Escape with nothing dialled ends the program at once.
open_vreko
key Escape
check "Escape with nothing dialled ends the program" wait_gone "$VPID" "$LIMIT"
check "nothing was launched" absent "$T/cmd1.marker" "$T/cmd2.marker"
finish
