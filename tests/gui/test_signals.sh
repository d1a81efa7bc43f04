#!/usr/bin/env bash
# Signals: SIGHUP (the terminal it was started from is closed) leaves the countdown running;
# SIGTERM and SIGINT end the program, and the next start runs as the first.
. "$(dirname "$0")/lib.sh"
gui_setup
ini 600 1
open_vreko
shot_until start shows start 255,255,0 1500
key Up
check "dialled" shot_until dialled shows dialled 0,255,0 1000
kill -HUP "$VPID"
key Up
# The key is handled after the signal: a program that is still there dials on.
dialled_on() { shows hup 0,255,0 1000 && ! same_readout hup dialled >/dev/null; }
check "after SIGHUP it still runs and dials" shot_until hup dialled_on
check "the process is there" alive "$VPID"
key Escape
check "and it goes on counting hidden" wait_viewable "$WID" "$LIMIT" no
check "still there" alive "$VPID"

for sig in TERM INT; do
    kill -"$sig" "$VPID"
    check "SIG$sig ends it" wait_gone "$VPID" "$LIMIT"
    check "without a command run" absent "$T/cmd1.marker" "$T/cmd2.marker"
    open_vreko
    check "after SIG$sig the next start runs as the first" alive "$VPID"
done
finish
