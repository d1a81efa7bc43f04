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
sleep 3
running=0
for p in "${pids[@]}"; do alive "$p" && running=$((running + 1)) && VPID=$p; done
check "ten copies started at once leave exactly one running ($running)" [ "$running" -eq 1 ]
windows=$(xdotool search --onlyvisible --classname '^vreko$' | wc -l)
check "and exactly one window ($windows)" [ "$windows" -eq 1 ]

kill -9 "$VPID"
wait_gone "$VPID" 2
start_vreko
check "after kill -9 of the running copy the next start runs" wait_viewable "$WID" 3
(cd "$T" && exec "$T/app/vreko") &
second=$!
check "while it runs another start ends at once" wait_gone "$second" 3
check "and the first copy keeps running" alive "$VPID"

finish
