#!/usr/bin/env bash
# Runs one scenario of the real program under today's Linux desktops, each headless, and prints
# a table: GNOME's mutter (Wayland, the program on XWayland), KDE's KWin on X11 and on Wayland,
# sway, and openbox (the test command's window manager) for comparison. Each desktop runs as an
# ordinary user with a home of its own (XWayland refuses clients of a user without a passwd
# entry; sway refuses root), made for the run and removed after it, in private mount and network
# namespaces, so that its display :0, its sockets and its lock files meet nothing else and
# nothing stays behind.
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
# A cell is "yes" when the step held, "no" when it failed, "limit" when it failed as the README
# says it does on that desktop (its Desktops section), and "-" when it never ran because a step it
# needs failed. It exits 0 only when every cell is "yes" or "limit".
# Screenshots and logs stay in the folder it names at the end (DESKTOPS_OUT to choose it).
set -u
STEPS=(start rounded dial other_active above second_start hidden_start drag menu failure_box box_closed idle_hide warning
       holds_sleep)
[ -n "${SLEEP_ONLY:-}" ] && STEPS=(holds_sleep)
# What the README's Desktops section tells of each desktop: sway keeps no X11 window above others;
# only KDE's session holds suspend itself (elsewhere logind does, which does not run here).
declare -A KNOWN_LIMITS=([sway]="above holds_sleep" [mutter]="holds_sleep" [openbox]="holds_sleep")

# ---- as root, outside: a user, one namespace per desktop, then the table -------------------
if [ "${1:-}" != --inside ] && [ "${1:-}" != --as-user ]; then
    [ -n "${1:-}" ] || { echo "usage: tests/desktops.sh path/to/vreko [desktop...]" >&2; exit 2; }
    BIN=$(readlink -f "$1")
    shift
    DESKS=("$@")
    [ ${#DESKS[@]} -gt 0 ] || DESKS=(mutter kwin-x11 kwin-wayland sway openbox)
    [ "$(id -u)" = 0 ] || { echo "run it as root: it makes a test user and namespaces" >&2; exit 2; }
    [ -x "$BIN" ] || { echo "no program at $BIN" >&2; exit 2; }
    # Everything the namespaces need is copied out of the checkout first: each desktop gets a
    # /tmp of its own, which hides whatever lies under /tmp outside.
    WORK=$(mktemp -d /var/tmp/vreko-desktops-XXXXXX)
    chmod 755 "$WORK"
    HERE=$(cd "$(dirname "$0")" && pwd)
    cp "$0" "$WORK/desktops.sh"
    cp "$HERE/gui/lib.sh" "$WORK/lib.sh"
    cp "$BIN" "$WORK/vreko-under-test"
    TEST_USER=vreko-desk-$$
    useradd --user-group --create-home --home-dir "$WORK/home" --shell /usr/sbin/nologin "$TEST_USER" ||
        { echo "cannot make the test user $TEST_USER" >&2; exit 2; }
    remove_user() {
        userdel "$TEST_USER" || echo "the test user $TEST_USER could not be removed" >&2
        rm -rf "$WORK/home"
    }
    trap remove_user EXIT
    trap 'exit 143' TERM INT
    OUT=${DESKTOPS_OUT:-$WORK}
    mkdir -p "$WORK/out" "$OUT"
    chown "$TEST_USER:" "$WORK/out"
    for d in "${DESKS[@]}"; do
        echo "== $d"
        timeout 900 unshare --mount --net --propagation private \
            bash "$WORK/desktops.sh" --inside "$d" "$WORK" "$TEST_USER" >"$WORK/out/$d.log" 2>&1
        grep -E '^\[' "$WORK/out/$d.log" | grep -E ' (yes|no|limit|-) - ' || tail -5 "$WORK/out/$d.log"
    done
    echo
    status=0
    printf '%-13s' desktop
    for s in "${STEPS[@]}"; do printf ' %s' "$s"; done
    echo
    for d in "${DESKS[@]}"; do
        printf '%-13s' "$d"
        for s in "${STEPS[@]}"; do
            v=$(awk -v s="$s" '$1==s{print $2}' "$WORK/out/$d.result" 2>/dev/null)
            v=${v:--}
            [ "$v" = yes ] || [ "$v" = limit ] || status=1
            printf " %-${#s}s" "$v"
        done
        echo
    done
    [ "$OUT" = "$WORK" ] || cp -r "$WORK/out/." "$OUT/"
    echo "screenshots and logs: ${OUT%/}$([ "$OUT" = "$WORK" ] && echo /out)"
    [ "$status" = 0 ] || echo "some step failed or never ran (see above)"
    exit "$status"
fi

# ---- as root, inside the namespaces: a private /tmp, then the test user ---------------------
if [ "$1" = --inside ]; then
    DESK=$2 WORK=$3 TEST_USER=$4
    mount -t tmpfs tmpfs /tmp || exit 1
    mkdir -m 1777 /tmp/.X11-unix
    ip link set lo up 2>/dev/null
    mkdir -p /tmp/t/app /tmp/t/run
    cp "$WORK/vreko-under-test" /tmp/t/app/vreko
    # The installed kwin_wayland carries a file capability, which a namespace refuses; a plain
    # copy runs.
    [ "$DESK" = kwin-wayland ] && cp /usr/bin/kwin_wayland /tmp/t/kwin_wayland
    chown -R "$TEST_USER:" /tmp/t
    chmod 700 /tmp/t/run
    exec setpriv --reuid "$TEST_USER" --regid "$TEST_USER" --clear-groups \
        env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$WORK/home" XDG_RUNTIME_DIR=/tmp/t/run LANG=C.UTF-8 \
        SLEEP_ONLY="${SLEEP_ONLY:-}" PORTAL="${PORTAL:-}" \
        bash "$WORK/desktops.sh" --as-user "$DESK" "$WORK"
fi

# ---- as the test user: the desktop and the scenario ----------------------------------------
DESK=$2 WORK=$3
OUT=$WORK/out
set -- /tmp/t/app/vreko
. "$WORK/lib.sh"
T=/tmp/t
PIDS=()
LIMIT=${GUI_LIMIT:-60}  # for the desktop to come up
STEP=${STEP_LIMIT:-20}  # for a step to show its result
declare -A R
save_results() {
    local s
    for s in "${STEPS[@]}"; do echo "$s ${R[$s]:--}"; done >"$OUT/$DESK.result"
    for f in "$T"/*.png; do [ -e "$f" ] && cp "$f" "$OUT/$DESK-$(basename "$f")"; done
    for f in desktop.log vreko.log cmd1.marker powerdevil.log gnome-session.log gsd-power.log bus-monitor.log; do
        cp "$T/$f" "$OUT/$DESK-$f" 2>/dev/null
    done
}
trap 'save_results; for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do kill "${PIDS[i]}" 2>/dev/null; done' EXIT
limit_of() { [[ " ${KNOWN_LIMITS[$DESK]:-} " == *" $1 "* ]]; }
result() {  # result step command... → yes, no or limit for the step
    local step=$1
    shift
    if "$@"; then R[$step]=yes; elif limit_of "$step"; then R[$step]=limit; else R[$step]=no; fi
    log "${R[$step]} - $step"
    [ "${R[$step]}" = yes ]
}
skip() {  # skip step why → the step never ran
    R[$1]=-
    log "- - $1 (never ran: $2)"
}
held() { [ "${R[$1]:-}" = yes ]; }

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

# Input and screenshots go through the host Xvfb (the nested desktops take their pointer and
# keyboard from their window there), and through grim on sway.
p_move() { DISPLAY=$HOSTX xdotool mousemove "$1" "$2"; }
p_down() { DISPLAY=$HOSTX xdotool mousedown "$1"; }
p_up() { DISPLAY=$HOSTX xdotool mouseup "$1"; }
k_key() { DISPLAY=$HOSTX xdotool key "$1"; }
shot() { DISPLAY=$HOSTX import -window root "$T/$1.png" 2>/dev/null; }
click_other() { p_move $((OX + 40)) $((OY + 30)) && p_down 1 && p_up 1; }

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
# A window mapped while the desktop still starts may stay unmanaged: a probe window it manages
# shows that it takes windows on.
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
    exit 0
fi

marker_script cmd1
ini 600 1 1 0 0 "$T/cmd1.sh" /nonexistent/vreko-action
# The focus as the desktop tells it: the active window on the root.
active_window() { xprop -root _NET_ACTIVE_WINDOW 2>/dev/null | grep -o '0x[0-9a-f]*' | head -1; }
active_is() { [ "$(active_window)" = "$(printf '0x%x' "$1")" ]; }
focus_other() {  # clicks the other window until the desktop makes it the active one
    wait_until "$STEP" "the other window to become active" eval 'click_other; active_is $OTHER'
}
p_move 5 5  # the pointer rests away from where the windows will be

# Another window first, white, wider and taller than ours and lying under the whole of it (our
# window is centred): what our corners must show, and the window the user turns to.
xev -geometry 600x400+212+184 -name vreko-other >/dev/null 2>&1 &
PIDS+=($!)
other_up() { OTHER=$(xdotool search --name '^vreko-other$' 2>/dev/null | head -1); [ -n "$OTHER" ] && viewable "$OTHER"; }
wait_until "$LIMIT" "the other window" other_up || exit 1
[ "$DESK" = sway ] && swaymsg -q "[title=\"^vreko-other$\"] move position 212 184"
read -r OX OY OW OH < <(geometry "$OTHER")
log "     the other window at $OX,$OY size ${OW}x$OH"

# ---- the window, the focus and the second start ---------------------------------------------
start_vreko && wait_viewable "$WID" "$LIMIT" && read -r X Y W H < <(geometry "$WID")
result start eval '[ -n "$WID" ] && [ "$W $H" = "392 166" ] && shot_until start shows start 255,255,0 1500'
[ -n "$WID" ] && log "     the window at ${X:-?},${Y:-?}, $(xwininfo -id "$WID" 2>/dev/null | awk '/Depth:/{print $2}') bits deep"

beneath_ok() {  # beneath_ok shot x y → the pixel shows the other window's white, perhaps shadowed
    local got r g b
    got=$(pixel "$1" "$2" "$3")
    IFS=, read -r r g b <<<"$got"
    [ "$r" -gt 60 ] && [ "$g" -gt 60 ] && [ "$b" -gt 60 ] && [ "$r" = "$g" ] && [ "$g" = "$b" ] ||
        { log "     pixel $2,$3 of $1 is $got, not the white (or its shadow) beneath"; return 1; }
}
inside_covers_other() {  # our window lies wholly on the other one
    [ "$OX" -lt "$X" ] && [ "$OY" -lt "$Y" ] && [ $((OX + OW)) -gt $((X + W)) ] && [ $((OY + OH)) -gt $((Y + H)) ] ||
        { log "     the other window does not lie under the whole of ours"; return 1; }
}
rounded() {  # each corner pixel shows what lies beneath; the points just inside the curve are black
    local c
    inside_covers_other || return 1
    for c in "0 0" "391 0" "0 165" "391 165" "2 0" "389 0" "0 163" "391 163"; do
        set -- $c
        beneath_ok "$SHOT" $((X + $1)) $((Y + $2)) || return 1
    done
    for c in "5 5" "386 5" "5 160" "386 160" "200 0" "0 83" "391 83" "200 165"; do
        set -- $c
        is_pixel "$SHOT" $((X + $1)) $((Y + $2)) 0,0,0 || return 1
    done
}
picture_in_front() {  # picture_in_front shot → every part of our window shows: readout, buttons, edges
    local s=$1
    shows "$s" "$2" 1000 || { log "     the readout is not in front"; return 1; }
    is_pixel "$s" $((X + 29)) $((Y + 40)) 240,240,240 && is_pixel "$s" $((X + 29)) $((Y + 125)) 240,240,240 &&
        is_pixel "$s" $((X + 5)) $((Y + 5)) 0,0,0 && is_pixel "$s" $((X + 386)) $((Y + 160)) 0,0,0 &&
        is_pixel "$s" $((X + 5)) $((Y + 160)) 0,0,0 && is_pixel "$s" $((X + 386)) $((Y + 5)) 0,0,0
}
readout_changed() { shows "$1" 0,255,0 1000 && ! same_readout "$1" "$2" >/dev/null; }

if held start; then
    SHOT=start
    result rounded rounded
    result dial eval 'k_key Up && shot_until dial shows dial 0,255,0 1000'
    # The user turns to the other window: the desktop makes it the active one, and ours stays
    # above it.
    result other_active focus_other
    if held other_active; then
        result above shot_until above picture_in_front above 0,255,0
        # A second start brings the shown window forward: the desktop makes it the active window,
        # and the keys dial it.
        (cd "$T" && exec "$T/app/vreko") &
        wait_gone $! "$STEP" || log "     the second copy did not end"
        result second_start eval 'wait_until $STEP "our window to become active" active_is $WID &&
            k_key Up && shot_until second readout_changed second above'
    else
        skip above "the other window never became active"
        skip second_start "the other window never became active"
    fi
    # Hidden for the countdown, with the other window active: a second start brings it back,
    # active and paused, showing the minutes it counts.
    if held second_start; then
        k_key Escape
        if wait_viewable "$WID" "$STEP" no && focus_other; then
            (cd "$T" && exec "$T/app/vreko") &
            wait_gone $! "$STEP" || log "     the second copy did not end"
            result hidden_start eval 'wait_viewable $WID $STEP && wait_until $STEP "our window to become active" active_is $WID &&
                shot_until hidden_back picture_in_front hidden_back 0,255,0'
        else
            skip hidden_start "the window did not hide, or the other window did not become active"
        fi
    else
        skip hidden_start "two minutes were not dialled"
    fi
else
    for s in rounded dial other_active above second_start hidden_start; do skip "$s" "the window did not start"; done
fi
stop_pid "$VPID"

# ---- a fresh copy: drag, menu, the failure box ----------------------------------------------
start_vreko && wait_viewable "$WID" "$LIMIT" && read -r X Y W H < <(geometry "$WID")
if [ -n "$WID" ] && viewable "$WID"; then
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
    result drag wait_until "$STEP" "the window to follow the pointer" drag_step
    p_up 1
    read -r X Y _ < <(geometry "$WID")

    # The right button opens the menu; its second item tries the action, which is missing: the
    # failure box comes, and Return closes it.
    p_move $((X + 200)) $((Y + 80))
    p_down 3
    p_up 3
    result menu wait_until "$STEP" "the menu" menu_shown
    box_shown() {
        local w
        for w in $(xdotool search --name '^Vreko$' 2>/dev/null); do
            [ "$w" != "$WID" ] && viewable "$w" && xprop -id "$w" WM_TRANSIENT_FOR 2>/dev/null | grep -q window &&
                BOX=$w && return 0
        done
        return 1
    }
    if held menu; then
        k_key Down
        k_key Down
        k_key Return
        BOX=""
        result failure_box wait_until "$STEP" "the failure box" box_shown
        if held failure_box; then
            wait_until "$STEP" "the box to have the focus" active_is "$BOX"
            k_key Return
            result box_closed eval 'wait_until $STEP "the box to close" eval "! viewable $BOX" && alive $VPID && viewable $WID'
        else
            skip box_closed "no failure box"
        fi
    else
        skip failure_box "no menu"
        skip box_closed "no menu"
    fi
else
    for s in drag menu failure_box box_closed; do skip "$s" "the window did not start again"; done
fi
stop_pid "$VPID"

# ---- idle: with a minute dialled the window hides, and the countdown brings it back at once
# for the last minute, in front of the other window and active, counting red seconds ----------
ini 2 1 1 0 0 "$T/cmd1.sh" /nonexistent/vreko-action
start_vreko && wait_viewable "$WID" "$LIMIT" && read -r X Y W H < <(geometry "$WID")
if [ -n "$WID" ] && viewable "$WID"; then
    k_key Up
    focus_other || log "     the other window did not become active"
    result idle_hide wait_viewable "$WID" "$STEP" no
    warned() {
        wait_viewable "$WID" "$STEP" || { log "     the window did not come back"; return 1; }
        wait_file "$T/cmd1.marker" "$STEP" || { log "     no warning command"; return 1; }
        # The seconds change faster than a slow desktop gives two equal screenshots in a row.
        wait_until "$STEP" "the warning in front" eval 'shot warning && picture_in_front warning 255,0,0' || return 1
        wait_until "$STEP" "our window to become active" active_is "$WID"
    }
    if held idle_hide; then result warning warned; else skip warning "the window did not hide"; fi
else
    skip idle_hide "the window did not start again"
    skip warning "the window did not start again"
fi
stop_pid "$VPID"

result holds_sleep sleep_step
exit 0
