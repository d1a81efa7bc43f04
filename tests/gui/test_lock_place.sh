#!/usr/bin/env bash
# One lock place for each user, whenever and however a copy starts: a user without a home
# folder runs; a copy started before the login manager made /run/user/<uid> and one started
# after it find each other; a lock folder that another user made first gives a box that names
# the problem, and the copy ends. Makes two users of its own (removed at the end): needs root.
. "$(dirname "$0")/lib.sh"
[ "$(id -u)" = 0 ] || { echo "skipped: making users needs root"; exit 77; }
gui_setup
ini -1 0  # no copy ends by itself: one that ends has found another

USERS=()
make_user() {  # make_user → a user without a home folder; prints its name
    local name i
    for i in $(seq 200); do  # other tests change the account files at the same time
        name=vrk$$g$i
        useradd -M -d "/nonexistent/$name" -s /usr/sbin/nologin "$name" >/dev/null 2>&1 && { echo "$name"; return 0; }
        sleep 0.05
    done
    return 1
}
remove_users() {
    local u i
    for u in "${USERS[@]}"; do
        rm -rf "/tmp/vreko-$(id -u "$u")" "/run/user/$(id -u "$u")"
        for i in $(seq 200); do userdel "$u" >/dev/null 2>&1 || ! id "$u" >/dev/null 2>&1 && break; sleep 0.05; done
    done
}
trap 'cleanup; remove_users' EXIT  # the users' processes end first
USER1=$(make_user) && USERS+=("$USER1") || { log "no user could be made"; exit 1; }
OTHER=$(make_user) && USERS+=("$OTHER") || { log "no second user could be made"; exit 1; }
ID=$(id -u "$USER1")
RUNTIME=/run/user/$ID
[ -e "$RUNTIME" ] && { log "$RUNTIME exists already"; exit 1; }
rm -rf "/tmp/vreko-$ID"  # left by an earlier account with the same number
chmod 711 "$T"
chmod 755 "$T/app"

as_user() {  # as_user [runtime folder] → starts a copy as USER1 with a bare environment; sets UPID
    (cd / && exec setpriv --reuid="$USER1" --regid="$(id -g "$USER1")" --clear-groups \
        env -i DISPLAY="$DISPLAY" PATH=/usr/bin:/bin ${1:+XDG_RUNTIME_DIR=$1} "$T/app/vreko" >>"$T/vreko.log" 2>&1) &
    UPID=$!
    PIDS+=($UPID)
}
user_window() { WID=$(xdotool search --onlyvisible --classname --pid "$UPID" '^vreko$' 2>/dev/null | head -1); [ -n "$WID" ]; }
is_dialog() { xprop -id "$1" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_DIALOG; }

as_user
FIRST=$UPID
check "a user without a home folder and without $RUNTIME runs" wait_until "$LIMIT" "the window" user_window
check "its window is the main window, not a box" eval '[ -n "$WID" ] && ! is_dialog "$WID"'

# The user logs in: the login manager makes the runtime folder.
mkdir -p /run/user
install -d -m 700 -o "$USER1" -g "$(id -g "$USER1")" "$RUNTIME"
as_user "$RUNTIME"
check "a copy started once $RUNTIME exists ends while the first runs" wait_gone "$UPID" "$LIMIT"
check "and the first copy stays" alive "$FIRST"
stop_pid "$FIRST"

# Another user takes the name of the user's lock folder first.
rm -rf "/tmp/vreko-$ID"
setpriv --reuid="$OTHER" --regid="$(id -g "$OTHER")" --clear-groups mkdir -m 700 "/tmp/vreko-$ID"
as_user "$RUNTIME"
BOX=""
box() { user_window && is_dialog "$WID" && BOX=$WID; }
check "a lock folder of another user gives a box" wait_until "$LIMIT" "a message box" box
shot squatted
focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$BOX" ]; }
[ -n "$BOX" ] && wait_until "$LIMIT" "the box to have the keyboard" focused && key Return
check "closed, the copy ends without a window" wait_gone "$UPID" "$LIMIT"
check "the other user's folder is left as it was" \
    eval '[ "$(stat -c %U:%a "/tmp/vreko-$ID")" = "$OTHER:700" ] && [ -z "$(ls -A "/tmp/vreko-$ID")" ]'
finish
