#!/usr/bin/env bash
# Only one copy runs: ten copies at once leave one; a killed copy does not block the next.
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

finish
