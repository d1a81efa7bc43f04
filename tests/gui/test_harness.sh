#!/usr/bin/env bash
# The harness itself, started afresh again and again: a window mapped as soon as the set-up
# returns is managed by the window manager, and a finished run leaves neither the lock file nor
# the socket of its display behind.
. "$(dirname "$0")/lib.sh"
RUNS=${HARNESS_RUNS:-10}

# A socket is known by its inode and its birth: a file system may hand a freed inode to the
# socket of the next server that takes the same number.
socket_id() { stat -c '%i@%w' "/tmp/.X11-unix/X$1" 2>/dev/null | tr ' ' _; }

one_run() {  # prints "managed|unmanaged display socket-id lock-pid" of one fresh set-up, once it has ended
    bash -c '
        . "$1/lib.sh" "$2"
        gui_setup
        xlogo -geometry 40x40+10+10 -title first-window >/dev/null 2>&1 &
        PIDS+=($!)
        state=unmanaged
        for i in $(seq 600); do  # up to 30 s: the window manager takes a window on at once
            w=$(xdotool search --name "^first-window$" 2>/dev/null | head -1)
            if [ -n "$w" ] && xprop -root _NET_CLIENT_LIST | grep -qi "$(printf "0x%x" "$w")"; then
                state=managed
                break
            fi
            sleep 0.05
        done
        n=${DISPLAY#:}
        echo "$state $n $(stat -c %i@%w "/tmp/.X11-unix/X$n" 2>/dev/null | tr " " _) $(tr -dc 0-9 <"/tmp/.X$n-lock" 2>/dev/null)"
    ' one_run "$(dirname "$0")" "$VREKO_BIN" 2>/dev/null
}

left_nothing() {  # left_nothing display socket-id [lock-pid] → the ended server's socket and lock are gone
    # The number may already serve another run: its socket and lock are new ones.
    local lock=/tmp/.X$1-lock socket=/tmp/.X11-unix/X$1
    [ -n "$2" ] || { log "     the server had no socket"; return 1; }
    [ "$(socket_id "$1")" != "$2" ] || { log "     $socket remains"; return 1; }
    [ -z "${3:-}" ] || [ "$(tr -dc 0-9 <"$lock" 2>/dev/null)" != "$3" ] || { log "     $lock remains"; return 1; }
}

for i in $(seq "$RUNS"); do
    read -r state n inode lockpid <<<"$(one_run)"
    check "start $i: a window mapped at once is managed" [ "$state" = managed ]
    check "start $i: display :$n left nothing behind" left_nothing "$n" "$inode" "$lockpid"
done
finish
