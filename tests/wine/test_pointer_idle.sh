#!/usr/bin/env bash
# The Windows program under Wine with the pointer resting on its window: over the readout it
# asks the system for no report of the pointer leaving (Wine would read the pointer every
# 400 ms to give it, waking the idle program 2.5 times a second); over a button it does, and
# the leave is reported when the pointer goes.
# Wine's message trace shows the timer that watches the pointer (system timer 0xfffa) and the
# messages in the order the program takes them.
# Usage: tests/wine/test_pointer_idle.sh path/to/vreko.exe
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/lib.sh"
wine_setup
# Never hides by itself and launches nothing.
printf '%s\r\n' "[Timer]" "TimePause=-1" "[AppStart]" "FileName1=" "FileName2=" >"$T/app/Vreko.INI"

xdotool mousemove 1279 1023  # the corner, away from the centred window
wine_window() {
    WID=$(xdotool search --onlyvisible --name '^Vreko$' 2>/dev/null | head -1)
    [ -n "$WID" ]
}
log "starting vreko.exe with Wine's message trace"
(cd "$T" && WINEDEBUG=+msg exec wine "$T/app/vreko.exe" >"$T/vreko.log" 2>"$T/msg.log") &
VPID=$!
PIDS+=($VPID)
check "the window appears" wait_until "$LIMIT" "the window of vreko.exe" wine_window
[ -n "${WID:-}" ] || { tail -20 "$T/msg.log"; finish; }
wait_viewable "$WID" "$LIMIT"
read -r X Y W H < <(geometry "$WID")
wine_focus

taken() { grep -c "got type .* msg $1 " "$T/msg.log"; }          # messages taken by number
watch_timers() { grep -c 'SetSystemTimer .*id 0xfffa' "$T/msg.log"; }  # pointer watches started
more_than() { [ "$($1 "${@:3}")" -gt "$2" ]; }

# Onto the readout (right of the button column), then a Shift press: the program takes the
# key after it has handled the moves, so the trace up to the key shows all they led to.
moves=$(taken 200)
keys=$(taken 100)
xdotool mousemove $((X + 200)) $((Y + 80)) mousemove $((X + 210)) $((Y + 83))
check "the moves reach the program" wait_until "$LIMIT" "WM_MOUSEMOVE" more_than taken "$moves" 200
xdotool key shift
check "the key reaches the program" wait_until "$LIMIT" "WM_KEYDOWN" more_than taken "$keys" 100
check "resting on the readout, the pointer is not watched" test "$(watch_timers)" = 0

# Onto the up button: its look follows the hover, so the leave is asked for ...
xdotool mousemove $((X + 29)) $((Y + 40)) mousemove $((X + 29)) $((Y + 42))
check "on a button the leave is asked for" wait_until "$LIMIT" "the pointer watch" more_than watch_timers 0
# ... and reported when the pointer goes.
leaves=$(taken 2a3)
xdotool mousemove 1279 1023
check "leaving the button is reported" wait_until "$LIMIT" "WM_MOUSELEAVE" more_than taken "$leaves" 2a3
finish
