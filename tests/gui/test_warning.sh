#!/usr/bin/env bash
# Test mode on the real clock: a one-minute dial hides, comes back with red seconds and the
# warning command on the next tick, then launches the action and ends about 60 s later.
. "$(dirname "$0")/lib.sh"
gui_setup
ini 30 1
open_vreko
key Up
key Escape
check "Escape hides the window for the countdown" wait_viewable "$WID" "$LIMIT" no
check "the next tick brings it back" wait_viewable "$WID" "$LIMIT"
check "command 1 was launched with its parameters" wait_file "$T/cmd1.marker" "$LIMIT"
check "its parameters arrive split and grouped" grep -qx 'one|two words|' "$T/cmd1.marker"
check "the seconds are red" shot_when warning shows warning 255,0,0 1000
check "no lime is left" [ "$(count_colour warning 0,255,0)" -eq 0 ]
check "command 2 has not run yet" [ ! -e "$T/cmd2.marker" ]
# The minute runs on the real clock: the action comes a whole minute after the warning, never
# sooner (a loaded machine may make it later, never earlier), and the program ends with it.
check "command 2 runs at the end" wait_file "$T/cmd2.marker" $((LIMIT + 70))
check "a whole minute after command 1" \
  [ $(($(stat -c %Y "$T/cmd2.marker") - $(stat -c %Y "$T/cmd1.marker"))) -ge 55 ]
check "and the program ends" wait_gone "$VPID" "$LIMIT"
check "command 1 ran exactly once" [ "$(wc -l <"$T/cmd1.marker")" -eq 1 ]
check "command 2 ran exactly once" [ "$(wc -l <"$T/cmd2.marker")" -eq 1 ]
cp "$T/warning.png" "$T/docs-warning.png" 2>/dev/null

# A dial step during the warning cancels it: the minutes come back in lime and nothing ends.
rm -f "$T"/cmd*.marker
open_vreko
key Up
key Escape
wait_file "$T/cmd1.marker" "$LIMIT" || log "     command 1 was not launched"
wait_viewable "$WID" "$LIMIT" || log "     the warning did not bring the window back"
shot_when warned shows warned 255,0,0 1000 || log "     no red seconds"
key Up
check "after a dial step the readout shows minutes in lime" shot_until cancelled shows cancelled 0,255,0 1000
check "and no red" [ "$(count_colour cancelled 255,0,0)" -eq 0 ]
sleep 3  # long enough for three ticks of a count that still ran
shot later
check "the count no longer runs" same_readout cancelled later
check "the window stays" viewable "$WID"
kill "$VPID"
check "command 2 never ran" [ ! -e "$T/cmd2.marker" ]
finish
