#!/usr/bin/env bash
# Keys, wheel and Escape drive the timer.
. "$(dirname "$0")/lib.sh"
gui_setup
ini 30 0
open_vreko
shot off
key Up Up
shot up2
check "two up-arrow presses show minutes in lime" [ "$(count_colour up2 0,255,0)" -gt 1000 ]
check "no yellow is left" [ "$(count_colour up2 255,255,0)" -eq 0 ]
key Left Left
shot back
check "two left-arrow presses go back to OFF in yellow" same_readout off back
key Right
key Down
key Up
key Up
shot keys20
check "right, down, up, up gives the same 20" same_readout up2 keys20
key Down Down
xdotool mousemove $((X + 200)) $((Y + 80)) click 4 click 4
xdotool mousemove 0 0
shot wheel
check "two wheel steps away from the user show the same 20" same_readout up2 wheel
xdotool mousemove $((X + 200)) $((Y + 80)) click 5 click 5 click 5
xdotool mousemove 0 0
shot wheeldown
check "three wheel steps towards the user leave a time in lime" [ "$(count_colour wheeldown 0,255,0)" -gt 1000 ]
key Up
shot wrapped
check "one more step up from 120 wraps to OFF" same_readout off wrapped
key Down
shot k120
check "wheel steps down wrapped 20, 10, OFF to 120" same_readout wheeldown k120
key Escape
check "Escape with a time dialled hides the window" wait_viewable "$WID" 3 no
check "the process keeps running" alive "$VPID"
kill "$VPID"

# Escape with nothing dialled ends the program at once.
open_vreko
key Escape
check "Escape with nothing dialled ends the program" wait_gone "$VPID" 1
check "nothing was launched" absent "$T/cmd1.marker" "$T/cmd2.marker"
finish
