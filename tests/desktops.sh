#!/usr/bin/env bash
# Runs one scenario of the real program under today's Linux desktops, each headless, and prints
# a yes/no table: GNOME's mutter (Wayland, the program on XWayland), KDE's KWin on X11 and on
# Wayland, sway, and openbox (the test command's window manager) for comparison. Each desktop runs as an ordinary user (XWayland refuses clients of a user
# without a passwd entry; sway refuses root) in private mount and network namespaces, so that
# its display :0, its sockets and its lock files meet nothing else and nothing stays behind.
#
# The last step starts what the desktop's session starts for power and portals (KDE: PowerDevil;
# GNOME: gnome-session and its power daemon; every desktop: xdg-desktop-portal on demand) and
# asks whether the desktop's own power manager sees the program's hold on suspend while it
# counts (SLEEP_ONLY=1 runs that step alone).
#
# Usage, as root:  tests/desktops.sh path/to/vreko [mutter] [kwin-x11] [kwin-wayland] [sway] [openbox]
# It needs:  apt-get install kwin-x11 kwin-wayland mutter xwayland sway grim dbus-daemon
#            xdg-desktop-portal xdg-desktop-portal-gtk xdg-desktop-portal-kde xdg-desktop-portal-wlr
#            powerdevil gnome-settings-daemon gnome-session-bin
#            (and the test command's xvfb, openbox, xdotool, x11-utils, x11-apps, imagemagick)
# Screenshots and logs stay in the folder it names at the end (DESKTOPS_OUT to choose it).
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
SELF=$HERE/$(basename "$0")
TEST_USER=vreko-desk
STEPS=(start rounded above dial second_start drag menu failure_box idle_hide warning holds_sleep)

# ---- as root, outside: one namespace per desktop, then the table ---------------------------
if [ "${1:-}" != --inside ] && [ "${1:-}" != --as-user ]; then
    BIN=$(readlink -f "${1:?usage: tests/desktops.sh path/to/vreko [desktop...]}")
    shift
    DESKS=("$@")
    [ ${#DESKS[@]} -gt 0 ] || DESKS=(mutter kwin-x11 kwin-wayland sway openbox)
    [ "$(id -u)" = 0 ] || { echo "run it as root: it makes a test user and namespaces" >&2; exit 2; }
    id "$TEST_USER" >/dev/null 2>&1 ||
        useradd --system --user-group --no-create-home --shell /usr/sbin/nologin "$TEST_USER"
    OUT=${DESKTOPS_OUT:-$(mktemp -d /var/tmp/vreko-desktops-XXXXXX)}
    mkdir -p "$OUT"
    chown "$TEST_USER:" "$OUT"
    # Each desktop gets a /tmp of its own: the program waits outside it.
    cp "$BIN" "$OUT/vreko-under-test"
    BIN=$OUT/vreko-under-test
    for d in "${DESKS[@]}"; do
        echo "== $d"
        rm -f "$OUT/$d.result"
        timeout 900 unshare --mount --net --propagation private "$SELF" --inside "$d" "$BIN" "$OUT" \
            >"$OUT/$d.log" 2>&1
        grep -E '^\[' "$OUT/$d.log" | grep -E ' (yes|no) - ' || tail -5 "$OUT/$d.log"
    done
    echo
    printf '%-13s' desktop
    for s in "${STEPS[@]}"; do printf ' %s' "$s"; done
    echo
    for d in "${DESKS[@]}"; do
        printf '%-13s' "$d"
        for s in "${STEPS[@]}"; do
            v=$(awk -v s="$s" '$1==s{print $2}' "$OUT/$d.result" 2>/dev/null)
            printf " %-${#s}s" "${v:-no}"
        done
        echo
    done
    echo "screenshots and logs: $OUT"
    exit 0
fi

# ---- as root, inside the namespaces: a private /tmp, then the test user ---------------------
if [ "$1" = --inside ]; then
    DESK=$2 BIN=$3 OUT=$4
    mount -t tmpfs tmpfs /tmp || exit 1
    # The runtime folder a login manager makes for the user, where the program keeps its locks.
    mkdir -p /run/user && mount -t tmpfs tmpfs /run/user || exit 1
    install -d -m 700 -o "$TEST_USER" -g "$TEST_USER" "/run/user/$(id -u "$TEST_USER")"
    mkdir -m 1777 /tmp/.X11-unix
    ip link set lo up 2>/dev/null
    mkdir -p /tmp/t/app /tmp/t/home /tmp/t/run
    cp "$BIN" /tmp/t/app/vreko
    cp "$HERE/gui/lib.sh" /tmp/t/lib.sh
    # The installed kwin_wayland carries a file capability, which a namespace refuses; a plain
    # copy runs.
    [ "$DESK" = kwin-wayland ] && cp /usr/bin/kwin_wayland /tmp/t/kwin_wayland
    chown -R "$TEST_USER:" /tmp/t
    chmod 700 /tmp/t/run
    exec setpriv --reuid "$TEST_USER" --regid "$TEST_USER" --clear-groups \
        env -i PATH=/usr/local/bin:/usr/bin:/bin HOME=/tmp/t/home XDG_RUNTIME_DIR=/tmp/t/run SLEEP_ONLY=${SLEEP_ONLY:-} PORTAL=${PORTAL:-} \
        XDG_CONFIG_HOME=/tmp/t/home/.config LANG=C.UTF-8 bash "$SELF" --as-user "$DESK" "$OUT"
fi

# ---- as the test user: the desktop and the scenario ----------------------------------------
DESK=$2 OUT=$3
set -- /tmp/t/app/vreko
. /tmp/t/lib.sh
T=/tmp/t
PIDS=()
GUI_LIMIT=${GUI_LIMIT:-60}
LIMIT=$GUI_LIMIT
trap 'for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do kill "${PIDS[i]}" 2>/dev/null; done' EXIT
declare -A R
result() {  # result step command... → yes or no for the step
    local step=$1
    shift
    if "$@"; then R[$step]=yes; else R[$step]=no; fi
    log "${R[$step]} - $step"
}

host_xvfb() {  # an Xvfb on :0, for KWin on X11 and for the nested Wayland desktops
    Xvfb :0 -screen 0 1024x768x24 -wr -nolisten tcp >"$T/xvfb.log" 2>&1 &
    PIDS+=($!)
    wait_until "$LIMIT" "Xvfb" eval "DISPLAY=:0 xdpyinfo >/dev/null 2>&1"
}

session_bus() {
    local bus=""
    mkfifo "$T/busfd"
    dbus-daemon --session --nofork --print-address=3 3>"$T/busfd" >"$T/dbus.log" 2>&1 &
    PIDS+=($!)
    read -r -t "$LIMIT" bus <"$T/busfd"
    export DBUS_SESSION_BUS_ADDRESS=$bus
}

xwayland_display() {  # the display a Wayland desktop's XWayland listens on (other than :0)
    local s a
    for s in /tmp/.X11-unix/X*; do
        [ "$s" = /tmp/.X11-unix/X0 ] && [ -n "${HOSTX:-}" ] && continue
        [ -S "$s" ] || continue
        XD=:${s#/tmp/.X11-unix/X}
        DISPLAY=$XD xdpyinfo >/dev/null 2>&1 && return 0
        # mutter and KWin let in only the clients that have the cookie they wrote.
        for a in "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.* "$XDG_RUNTIME_DIR"/xauth_*; do
            [ -f "$a" ] && DISPLAY=$XD XAUTHORITY=$a xdpyinfo >/dev/null 2>&1 && export XAUTHORITY=$a && return 0
        done
    done
    return 1
}

# Input and screenshots go through the host Xvfb for KWin on X11 and the nested desktops, and
# through sway's own seat and grim on sway.
p_move() { DISPLAY=$HOSTX xdotool mousemove "$1" "$2"; }
p_down() { DISPLAY=$HOSTX xdotool mousedown "$1"; }
p_up() { DISPLAY=$HOSTX xdotool mouseup "$1"; }
k_key() { DISPLAY=$HOSTX xdotool key "$1"; }
shot() { DISPLAY=$HOSTX import -window root "$T/$1.png" 2>/dev/null; }
click_other() { p_move $((OX + 30)) $((OY + 20)) && p_down 1 && p_up 1; }

case $DESK in
    openbox)
        HOSTX=:0
        host_xvfb || exit 1
        DISPLAY=:0 openbox --sm-disable >"$T/desktop.log" 2>&1 &
        PIDS+=($!)
        XD=:0
        ;;
    kwin-x11)
        HOSTX=:0
        host_xvfb || exit 1
        session_bus
        QT_QPA_PLATFORM=xcb DISPLAY=:0 kwin_x11 >"$T/desktop.log" 2>&1 &
        PIDS+=($!)
        XD=:0
        ;;
    mutter)
        HOSTX=:0
        host_xvfb || exit 1
        session_bus
        MUTTER_DEBUG_DUMMY_MODE_SPECS=1024x768 DISPLAY=:0 \
            mutter --nested --wayland --wayland-display=wayland-vreko >"$T/desktop.log" 2>&1 &
        PIDS+=($!)
        wait_until "$LIMIT" "mutter's XWayland" xwayland_display || { cat "$T/desktop.log"; exit 1; }
        ;;
    kwin-wayland)
        HOSTX=:0
        host_xvfb || exit 1
        session_bus
        QT_QPA_PLATFORM=wayland $T/kwin_wayland --x11-display :0 --xwayland --width 1024 --height 768 \
            --socket wayland-vreko >"$T/desktop.log" 2>&1 &
        PIDS+=($!)
        wait_until "$LIMIT" "KWin's XWayland" xwayland_display || { cat "$T/desktop.log"; exit 1; }
        ;;
    sway)
        # Nested in the Xvfb, sway has a pointer and a keyboard (those of its window there).
        HOSTX=:0
        host_xvfb || exit 1
        printf '%s\n' 'xwayland enable' 'output * resolution 1024x768 bg #2060a0 solid_color' \
            'for_window [title="^vreko-other$"] floating enable' >"$T/sway.conf"
        DISPLAY=:0 WLR_BACKENDS=x11 WLR_RENDERER=pixman WLR_X11_OUTPUTS=1 \
            sway -c "$T/sway.conf" >"$T/desktop.log" 2>&1 &
        PIDS+=($!)
        export WAYLAND_DISPLAY=wayland-1
        wait_until "$LIMIT" "sway" eval 'ls $XDG_RUNTIME_DIR/sway-ipc.*.sock >/dev/null 2>&1' || exit 1
        SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock | head -1)
        export SWAYSOCK
        wait_until "$LIMIT" "sway's XWayland" xwayland_display || { cat "$T/desktop.log"; exit 1; }
        shot() { grim "$T/$1.png"; }
        click_other() { swaymsg -q "[title=\"^vreko-other$\"] focus"; }
        ;;
    *)
        echo "unknown desktop $DESK" >&2
        exit 2
        ;;
esac
export DISPLAY=$XD
log "$DESK: X clients on $DISPLAY"
wm_probe || { log "the desktop manages no window"; cat "$T/desktop.log"; exit 1; }

# ---- the hold on automatic sleep ------------------------------------------------------------
session_call() { timeout 10 gdbus call --session "$@" 2>&1; }
power_manager_sees() {  # the desktop's own power manager: is suspend (or idle) held now?
    case $DESK in
        kwin-*) session_call --dest org.kde.Solid.PowerManagement --object-path /org/kde/Solid/PowerManagement/PolicyAgent \
                    --method org.kde.Solid.PowerManagement.PolicyAgent.HasInhibition "$1" ;;
        mutter) session_call --dest org.gnome.SessionManager --object-path /org/gnome/SessionManager \
                    --method org.gnome.SessionManager.IsInhibited "$2" ;;
        *) echo "(no power manager on the session)" ;;
    esac
}
sleep_step() {
    [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || session_bus
    case $DESK in
        kwin-*)
            export XDG_CURRENT_DESKTOP=KDE
            /usr/lib/x86_64-linux-gnu/libexec/org_kde_powerdevil >"$T/powerdevil.log" 2>&1 &
            PIDS+=($!) ;;
        mutter)
            export XDG_CURRENT_DESKTOP=GNOME
            # gnome-session will not start without a system bus: a private one, where no
            # service of the machine runs (no logind, no UPower).
            mkfifo "$T/sysbusfd"
            dbus-daemon --session --nofork --print-address=3 3>"$T/sysbusfd" >"$T/sysbus.log" 2>&1 &
            PIDS+=($!)
            read -r -t "$LIMIT" DBUS_SYSTEM_BUS_ADDRESS <"$T/sysbusfd"
            export DBUS_SYSTEM_BUS_ADDRESS
            # gnome-session with a session of no components of its own (mutter runs already).
            mkdir -p "$HOME/.local/share/gnome-session/sessions"
            printf '%s\n' '[GNOME Session]' 'Name=vreko' 'RequiredComponents=' \
                >"$HOME/.local/share/gnome-session/sessions/vreko.session"
            gnome-session --builtin --disable-acceleration-check --session=vreko >"$T/gnome-session.log" 2>&1 &
            PIDS+=($!)
            /usr/libexec/gsd-power >"$T/gsd-power.log" 2>&1 &
            PIDS+=($!) ;;
        sway) export XDG_CURRENT_DESKTOP=sway ;;
        *) ;;
    esac
    dbus-update-activation-environment DISPLAY WAYLAND_DISPLAY XAUTHORITY XDG_CURRENT_DESKTOP 2>/dev/null
    # A desktop's session has its portal running already (PORTAL=cold leaves it to be started
    # by the program's first call).
    [ "${PORTAL:-}" = cold ] || timeout 20 gdbus introspect --session --dest org.freedesktop.portal.Desktop \
        --object-path /org/freedesktop/portal/desktop >/dev/null 2>&1
    sleep 5  # the session's services come up (nothing of ours waits on them)
    dbus-monitor --session >"$T/bus-monitor.log" 2>&1 &
    PIDS+=($!)
    local names
    names=$(busctl --user list --no-pager 2>/dev/null | awk '{print $1 " " $2}' | grep -E \
        'portal\.Desktop|impl\.portal\.desktop|PowerManagement|SessionManager|login1' | tr '\n' ';')
    log "     session bus: $names"
    log "     before: suspend held: $(power_manager_sees 1 4)"
    ini 600 1 1 0 0 /bin/true /bin/true
    start_vreko && wait_viewable "$WID" "$LIMIT" || return 1
    wait_until "$LIMIT" "the focus on our window" eval '[ "$(xdotool getwindowfocus 2>/dev/null)" = "$WID" ]'
    k_key Up && k_key Up
    shot_until sleep-dialled shows sleep-dialled 0,255,0 1000 || log "     the dial did not show"
    k_key Escape
    wait_viewable "$WID" 20 no || { log "     the window did not hide"; return 1; }
    alive "$VPID" || { log "     the program ended instead of counting"; return 1; }
    sleep 8  # the portal starts on demand, then its backend
    local suspend idle
    suspend=$(power_manager_sees 1 4)
    idle=$(power_manager_sees 4 8)
    log "     counting: suspend held: $suspend; idle (or screen) held: $idle"
    grep -E -A3 'member=(Inhibit|Response|UnInhibit|Close)' "$T/bus-monitor.log" | grep -vE '^--$' | head -40 >"$T/holds.txt"
    sed 's/^/     | /' "$T/holds.txt"
    kill -KILL "$VPID"
    sleep 3
    log "     killed: suspend held: $(power_manager_sees 1 4)"
    [[ $suspend == *true* ]] && [[ $idle != *true* ]]
}
if [ -n "${SLEEP_ONLY:-}" ]; then
    result holds_sleep sleep_step
    for s in "${STEPS[@]}"; do echo "$s ${R[$s]:-no}"; done >"$OUT/$DESK.result"
    for f in "$T"/*.png; do [ -e "$f" ] && cp "$f" "$OUT/$DESK-$(basename "$f")"; done
    for f in vreko.log desktop.log powerdevil.log gnome-session.log gsd-power.log bus-monitor.log; do cp "$T/$f" "$OUT/$DESK-$f" 2>/dev/null; done
    exit 0
fi

marker_script cmd1
ini 600 1 1 0 0 "$T/cmd1.sh" /nonexistent/vreko-action
focused_on() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }
focus_other() {  # clicks the other window until it has the focus
    wait_until "$LIMIT" "the other window to take the focus" eval 'click_other; focused_on $OTHER'
}

# The desktop before the window comes: what its corners must show. The pointer rests away from
# where the windows will be.
p_move 5 5
shot_until desktop true
# Start: the window appears, undecorated, 392 by 166, with "OFF".
start_vreko && wait_viewable "$WID" "$LIMIT" && read -r X Y W H < <(geometry "$WID")
result start eval '[ -n "$WID" ] && [ "$W $H" = "392 166" ] && shot_until start shows start 255,255,0 1500'
log "     the window's depth: $(xwininfo -id "$WID" | awk '/Depth:/{print $2}') bits"


result dial eval 'k_key Up && shot_until dial shows dial 0,255,0 1000'

# Another window, under the top-left corner of ours and over part of its left column.
xev -geometry 200x150+$((X - 60))+$((Y - 40)) -name vreko-other >/dev/null 2>&1 &
PIDS+=($!)
other_up() { OTHER=$(xdotool search --name '^vreko-other$' 2>/dev/null | head -1); [ -n "$OTHER" ] && viewable "$OTHER"; }
wait_until "$LIMIT" "the other window" other_up
[ "$DESK" = sway ] && swaymsg -q "[title=\"^vreko-other$\"] move position $((X - 60)) $((Y - 40))"
sleep_until_placed() { read -r OX OY _ < <(geometry "$OTHER"); [ "$OX" -lt "$X" ]; }
wait_until "$LIMIT" "the other window in its place" sleep_until_placed

# The user turns to the other window: ours stays above it, and its corner shows the other
# window's white beneath it (the rounded outline).
focus_other
corner_shows_desktop() {
    # A square corner is the window's black; a rounded one shows what lies beneath (the other
    # window's white at the top-left corner while ours lies above it, or the desktop at the
    # bottom-right one, unless the desktop is black itself), perhaps darkened by a shadow.
    [ "$(pixel corner $((X + 5)) $((Y + 5)))" = 0,0,0 ] && [ "$(pixel corner $X $Y)" != 0,0,0 ] && return 0
    [ "$(pixel desktop $((X + 391)) $((Y + 165)))" != 0,0,0 ] || { log "     nothing to see beneath the corners"; return 1; }
    is_pixel corner $((X + 386)) $((Y + 160)) 0,0,0 || return 1
    [ "$(pixel corner $((X + 391)) $((Y + 165)))" != 0,0,0 ] || { log "     the corner is black: square"; return 1; }
}
result rounded shot_until corner corner_shows_desktop
result above eval 'is_pixel corner $((X + 29)) $((Y + 40)) 240,240,240'

# A second start brings it forward: it has the focus and the keys dial it.
(cd "$T" && exec "$T/app/vreko") &
wait_gone $! "$LIMIT"
result second_start eval 'wait_until $LIMIT "the focus on our window" focused_on $WID && k_key Up && shot_until dialled shows dialled 0,255,0 1000'

# Dragging by the readout moves it.
# The pointer goes on moving, a little at each look, until the window has followed it.
moved() { read -r X2 Y2 _ < <(geometry "$WID"); [ "$X2" -ge $((X + 30)) ] && [ "$Y2" -ge $((Y + 25)) ]; }
moves=0
drag_step() {
    moves=$((moves + 1))
    p_move $((X + 200 + 4 * moves)) $((Y + 80 + 3 * moves))
    [ "$moves" -ge 12 ] && moved
}
p_move $((X + 200)) $((Y + 80))
p_down 1
result drag wait_until 20 "the window to follow the pointer" drag_step
p_up 1
read -r X Y _ < <(geometry "$WID")

# The right button opens the menu; its second item tries the action, which is missing: the
# failure box comes.
p_move $((X + 200)) $((Y + 80))
p_down 3
p_up 3
result menu wait_until 10 "the menu" menu_shown
box_shown() {
    local w
    for w in $(xdotool search --name '^Vreko$' 2>/dev/null); do
        [ "$w" != "$WID" ] && viewable "$w" && xprop -id "$w" WM_TRANSIENT_FOR 2>/dev/null | grep -q window && return 0
    done
    return 1
}
if [ "${R[menu]}" = yes ]; then
    k_key Down
    k_key Down
    k_key Return
fi
result failure_box wait_until 10 "the failure box" box_shown
k_key Return
stop_pid "$VPID"

# Idle: with a minute dialled the window hides, and the countdown brings it back at once for
# the last minute, in front of the other window and with the focus, counting red seconds.
ini 2 1 1 0 0 "$T/cmd1.sh" /nonexistent/vreko-action
start_vreko && wait_viewable "$WID" "$LIMIT"
read -r X Y W H < <(geometry "$WID")
k_key Up
focus_other
result idle_hide wait_viewable "$WID" 20 no
warned() {
    wait_viewable "$WID" "$LIMIT" || { log "     the window did not come back"; return 1; }
    wait_file "$T/cmd1.marker" "$LIMIT" || { log "     no warning command"; return 1; }
    # The seconds change faster than a slow desktop gives two equal screenshots in a row.
    wait_until "$LIMIT" "red seconds on the screen" eval 'shot warning && shows warning 255,0,0 800' || return 1
    is_pixel warning $((X + 29)) $((Y + 40)) 240,240,240 || { log "     not in front"; return 1; }
    wait_until "$LIMIT" "the focus on our window" focused_on "$WID"
}
result warning warned
stop_pid "$VPID"
result holds_sleep sleep_step

for s in "${STEPS[@]}"; do echo "$s ${R[$s]:-no}"; done >"$OUT/$DESK.result"
for f in "$T"/*.png; do [ -e "$f" ] && cp "$f" "$OUT/$DESK-$(basename "$f")"; done
for f in desktop.log vreko.log cmd1.marker powerdevil.log gnome-session.log gsd-power.log bus-monitor.log; do
    cp "$T/$f" "$OUT/$DESK-$f" 2>/dev/null
done
exit 0
