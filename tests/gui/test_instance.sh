#!/usr/bin/env bash
# Only one copy runs: ten copies at once leave one; a killed copy does not block the next;
# copies started from a session, from cron (no XDG_RUNTIME_DIR) or from a script with another
# HOME and XDG_STATE_HOME find each other in either order. A launch's startup id belongs to
# the program: its window carries it, the desktop hears that the launch is complete, and the
# commands it starts do not inherit it.
. "$(dirname "$0")/lib.sh"
gui_setup
ini 60 0
pids=()
for i in $(seq 10); do
    (cd "$T" && exec "$T/app/vreko" >>"$T/vreko.log" 2>&1) &
    pids+=($!)
done
PIDS+=("${pids[@]}")
count_running() {
    running=0
    for p in "${pids[@]}"; do alive "$p" && running=$((running + 1)) && VPID=$p; done
}
one_running() { count_running; [ "$running" -le 1 ]; }
count_windows() { windows=$(xdotool search --onlyvisible --classname '^vreko$' 2>/dev/null | wc -l); }
a_window() { count_windows; [ "$windows" -ge 1 ]; }
wait_until "$LIMIT" "the copies that lost to end" one_running
wait_until "$LIMIT" "the window of the copy that won" a_window
count_running
count_windows
check "ten copies started at once leave exactly one running ($running)" [ "$running" -eq 1 ]
check "and exactly one window ($windows)" [ "$windows" -eq 1 ]

kill -9 "$VPID"
wait_gone "$VPID" "$LIMIT" || log "     the killed copy is still there"
start_vreko
check "after kill -9 of the running copy the next start runs" wait_viewable "$WID" "$LIMIT"
(cd "$T" && exec "$T/app/vreko") &
second=$!
check "while it runs another start ends" wait_gone "$second" "$LIMIT"
check "and the first copy keeps running" alive "$VPID"
stop_pid "$VPID"

# A listener on the root, ready once it has heard a change made after its start.
stdbuf -oL xev -root -event property >"$T/root.log" 2>&1 &
PIDS+=($!)
ping_heard() { xprop -root -f _VREKO_TEST_PING 8s -set _VREKO_TEST_PING x; grep -q _VREKO_TEST_PING "$T/root.log"; }
wait_until "$LIMIT" "the listener on the root" ping_heard || exit 1
printf '#!/bin/sh\necho "${DESKTOP_STARTUP_ID-none}" > "%s/env.marker"\n' "$T" >"$T/cmd1.sh"
(cd "$T" && DESKTOP_STARTUP_ID=vreko-test-launch_TIME42 exec "$T/app/vreko" >>"$T/vreko.log" 2>&1) &
VPID=$!
PIDS+=($VPID)
wait_until "$LIMIT" "the main window of the program" main_window && wait_viewable "$WID" "$LIMIT"
check "the window carries the launch's startup id" \
    bash -c "xprop -id $WID _NET_STARTUP_ID | grep -q '\"vreko-test-launch_TIME42\"'"
check "the launch is reported complete" wait_until "$LIMIT" "the startup message" grep -q _NET_STARTUP_INFO_BEGIN "$T/root.log"
read -r X Y W H < <(geometry "$WID")
open_menu $((X + 200)) $((Y + 80))
key Down Return
check "a command it starts has no startup id" eval 'wait_file "$T/env.marker" "$LIMIT" && grep -qx none "$T/env.marker"'

mkdir -p "$T/home2"
as_script() {  # as_script → starts a copy as cron or a script would: no XDG_RUNTIME_DIR, another HOME
    (cd "$T" && exec env -u XDG_RUNTIME_DIR HOME="$T/home2" XDG_STATE_HOME="$T/home2/state" \
        "$T/app/vreko" >>"$T/vreko.log" 2>&1) &
    SPID=$!
    PIDS+=($SPID)
}
as_script
check "a copy started without XDG_RUNTIME_DIR and with another HOME ends while one runs" wait_gone "$SPID" "$LIMIT"
check "and the running copy stays" alive "$VPID"

stop_pid "$VPID"
as_script
script_window() { WID=$(xdotool search --onlyvisible --classname --pid "$SPID" '^vreko$' 2>/dev/null | head -1); [ -n "$WID" ]; }
check "started so alone, it runs" wait_until "$LIMIT" "the window of the copy started as a script" script_window
(cd "$T" && exec "$T/app/vreko" >>"$T/vreko.log" 2>&1) &
session=$!
PIDS+=($session)
check "then a copy started from the session ends" wait_gone "$session" "$LIMIT"
check "and the copy started as a script stays" alive "$SPID"

finish
