#!/usr/bin/env bash
# A settings file that is no regular file, here a FIFO that nobody writes to, does not hold the
# start up: the box that says it cannot be written comes, and the FIFO stays as it was.
. "$(dirname "$0")/lib.sh"
gui_setup
mkfifo "$T/app/Vreko.INI"
launch_vreko
BOX=""
wait_until "$LIMIT" "a message box" box
check "a FIFO as the settings file gives a message box" [ -n "$BOX" ]
[ -n "$BOX" ] || finish
check "the program waits in it" alive "$VPID"
check "the FIFO is left as it is" test -p "$T/app/Vreko.INI"
focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$BOX" ]; }
wait_until "$LIMIT" "the box to have the keyboard" focused
key Return
# Nothing was loaded: the idle pause is 0, so with nothing dialled the first idle tick ends it.
check "closed, the program goes on and ends as with no settings" wait_gone "$VPID" "$LIMIT"
finish
