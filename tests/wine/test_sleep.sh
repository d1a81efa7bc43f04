#!/usr/bin/env bash
# The Windows program under Wine and the machine's sleep: the count holds automatic sleep
# (SetThreadExecutionState, seen in Wine's relay trace) from the hide until just before the
# action; the resume notices Windows sends after a sleep (sent here by vreko_wine_helper.exe) bring a
# counting window back paused, and in the last minute start the warning's minute again.
# Usage: tests/wine/test_sleep.sh path/to/vreko.exe path/to/vreko_wine_helper.exe
HERE=$(cd "$(dirname "$0")" && pwd)
NOTICE_BIN=${2:?usage: test_sleep.sh path/to/vreko.exe path/to/vreko_wine_helper.exe}
source "$HERE/lib.sh"
wine_setup
cp "$NOTICE_BIN" "$T/app/wine_helper.exe"

# Test mode (one-minute steps), an idle pause longer than the test, commands that write markers.
{ printf '%s\r\n' "[Timer]" "TimePause=600" "PositionTop=0" "PositionLeft=0" "PositionCenter=1" "Test=1" \
    "[AppStart]"; commands; printf '%s\r\n' "[Text]" "FontName=Arial Black" "FontSize=90"; } >"$T/app/Vreko.INI"

# Wine traces only the calls that matter here: the hold and the launches.
wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /d 'SetThreadExecutionState;ShellExecuteExW' /f \
    >"$T/reg.log" 2>&1
wineserver -w
calls() {  # the traced calls, in order: the hold's flags, or "launch"
    sed -nE 's/.*Call KERNEL32\.SetThreadExecutionState\(([0-9a-f]+)\).*/\1/p; s/.*Call shell32\.ShellExecuteExW\(.*/launch/p' \
        "$T/vreko.log" | tr '\n' ' '
}
wake() {  # the resume notices, as after a sleep
    (cd "$T/app" && WINEDEBUG=-all wine wine_helper.exe resume both >>"$T/notice.log" 2>&1)
}
focus() { xdotool windowactivate --sync "$WID" 2>/dev/null || xdotool windowfocus "$WID"; }

WINEDEBUG=+relay start_copy vreko.log
VPID=$STARTED
wait_until "$LIMIT" "the window of vreko.exe" wine_window && wait_viewable "$WID" "$LIMIT" ||
    { log "no window appeared"; tail -20 "$T/vreko.log"; exit 1; }
read -r X Y W H < <(geometry "$WID")
focus
key Up
key Up
wait_until "$LIMIT" "the two-minute dial on the readout" eval 'shot dialled && shows dialled 0,255,0 500'
check "nothing is held while the time is only dialled" [ -z "$(calls)" ]
key Escape
HIDDEN_AT=$(now_ms)
check "Escape hides the window for the count" wait_viewable "$WID" "$LIMIT" no
check "the hide holds the system awake (ES_CONTINUOUS | ES_SYSTEM_REQUIRED)" \
    wait_until "$LIMIT" "the hold in the trace" eval '[ "$(calls)" = "80000001 " ]'

# A sleep shortly before the warning was due: the window comes back, paused.
sleep $((55 - ($(now_ms) - HIDDEN_AT) / 1000))
wake
WOKE_AT=$(now_ms)
check "the resume notices bring the window back" wait_viewable "$WID" "$LIMIT"
check "the sender's notices were delivered" [ "$(grep -c delivered "$T/notice.log")" -eq 2 ]
sleep $((12 - ($(now_ms) - WOKE_AT) / 1000))
check "the count is paused: no warning where it was due ($((($(now_ms) - HIDDEN_AT) / 1000)) s after the hide)" \
    absent "$T/cmd1.log"
check "the window stays on the screen" viewable "$WID"
check "the hold stays while the count waits" [ "$(calls)" = "80000001 " ]

# Hidden again, the count goes on from where it stopped: the warning comes within seconds.
focus
key Escape
check "the warning comes once the count goes on" wait_file "$T/cmd1.log" "$LIMIT"
wait_viewable "$WID" "$LIMIT"
# Half a minute into the warning the machine sleeps and wakes: a whole minute shows again.
sleep 25
wake
WOKE_AT=$(now_ms)
check "a wake-up in the warning keeps the window on the screen" viewable "$WID"
check "45 s after the wake-up the action has not run" \
    bash -c "sleep $((45 - ($(now_ms) - WOKE_AT) / 1000)); [ ! -e '$T/cmd2.log' ] && kill -0 $VPID"
check "the action runs at the end of that minute" wait_file "$T/cmd2.log" "$LIMIT"
check "no sooner than a whole minute after the wake-up ($((($(now_ms) - WOKE_AT) / 1000)) s)" \
    [ $(($(now_ms) - WOKE_AT)) -ge 59000 ]
check "and the program ends" wait_gone "$VPID" "$LIMIT"
check "the warning's command ran once" test "$(tr -d '\r' <"$T/cmd1.log" | grep -c '^one')" = 1
check "the hold was let go after the warning's launch and before the action's ($(calls))" \
    [ "$(calls)" = "80000001 launch 80000000 launch " ]
finish
