# Sourced by the Wayland end-to-end scripts and benchmark: a headless sway
# (wlroots) or weston with XWayland, run by an unprivileged user that is
# created for the run when started as root (sway refuses root), a headless
# KWin on a session bus of its own, or a headless GNOME Shell as such a user
# on session and system buses of its own. Everything started here is
# recorded by PID and ended by wayland_end.

# The counted checks and the INI quoting of the X11 scripts.
source "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"
# Starting the program by its settings and waiting for what it did.
program_spawner=wayland_spawn
source "$(dirname "${BASH_SOURCE[0]}")/program_runs.sh"

session_pids=() session_user="" session_user_created=0

# The command as the session's user, with the session's environment only.
as_user() {
    if [ -n "$session_user" ]; then
        runuser -u "$session_user" -- env -i "${session_env[@]}" "$@"
    else
        env -i "${session_env[@]}" "$@"
    fi
}

# wayland_spawn PIDVAR COMMAND...: in the background as the user; its own PID
# (not the one of runuser) goes into PIDVAR and onto the list to end, the
# background job (whose status is the command's) into PIDVAR_job. Output
# goes to $spawn_log, by default the session's clients.log.
wayland_spawn() {
    local var=$1 pidfile
    shift
    pidfile=$(mktemp "$session_dir/pid.XXXXXX")
    chmod 666 "$pidfile"
    as_user sh -c 'echo $$ >"$0"; exec "$@"' "$pidfile" "$@" >>"${spawn_log:-$session_dir/clients.log}" 2>&1 &
    printf -v "${var}_job" '%s' "$!"
    for _ in $(seq 100); do [ -s "$pidfile" ] && break; sleep 0.02; done
    printf -v "$var" '%s' "$(cat "$pidfile")"
    session_pids+=("${!var}")
}

# wayland_begin DIR [sway|weston|kwin|gnome [LAYOUTS]]: the session, its files in
# DIR; for KWin with its keyboard layouts ("us,de"; else its default); for
# GNOME Shell after gnome_prepare, when defined, which may write gsettings
# lines into DIR/gnome-settings for the shell's session bus.
# Returns 77 (after saying why) when the compositor cannot start here.
wayland_begin() {
    session_dir=$1
    session_compositor=${2:-sway}
    local compositor=$session_compositor
    rm -rf "$session_dir"
    mkdir -p "$session_dir/run" "$session_dir/home" "$session_dir/config"
    if [ "$(id -u)" -eq 0 ] && [ "$compositor" != kwin ]; then
        session_user="qmpvx-$compositor-$$"
        useradd --no-create-home --home-dir "$session_dir/home" --shell /bin/sh "$session_user" || return 1
        session_user_created=1
        chown -R "$session_user" "$session_dir"
    fi
    chmod 700 "$session_dir/run"
    # Else XWayland makes the folder of X sockets, and it is the user's.
    [ -d /tmp/.X11-unix ] || { mkdir -p /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix; }
    cat >"$session_dir/sway.config" <<'CONFIG'
xwayland enable
default_border normal
focus_on_window_activation focus
CONFIG
    session_env=(HOME="$session_dir/home" XDG_RUNTIME_DIR="$session_dir/run" XDG_CONFIG_HOME="$session_dir/config"
              PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 LC_ALL=C.UTF-8
              WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman WLR_HEADLESS_OUTPUTS=1)
    # The sanitizers' settings of the test run reach the programs started here.
    local name
    for name in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS; do
        [ -z "${!name:-}" ] || session_env+=("$name=${!name}")
    done
    local compositor_pid host=""
    case $compositor in
    weston)
        # Weston's headless backend has no seat, so clients that type find no
        # keyboard: it runs in a window of its own X server instead.
        local host_pid
        wayland_spawn host_pid sh -c 'exec Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$0"' \
            "$session_dir/host-display"
        for _ in $(seq 100); do
            host=$(cat "$session_dir/host-display" 2>/dev/null)
            [ -n "$host" ] && break
            sleep 0.05
        done
        wayland_spawn compositor_pid env DISPLAY=":$host" weston --backend=x11-backend.so --use-pixman --xwayland \
            --idle-time=0 --width=1200 --height=760
        # Weston listens on its X display at once and starts XWayland on the first client.
        compositor_ready() { [ -n "$(xwayland_socket)" ]; }
        ;;
    kwin)
        if [ ! -e /usr/bin/kwin_wayland ]; then
            echo "SKIPPED: kwin_wayland is not installed (package kwin-wayland)."
            return 77
        fi
        [ -z "${3:-}" ] || printf '[Layout]\nLayoutList=%s\nUse=true\n' "$3" >"$session_dir/config/kxkbrc"
        # The installed one carries a file capability, which root may not be
        # allowed to exec in a container; a copy under the same name runs anywhere.
        mkdir -p "$session_dir/bin"
        cp /usr/bin/kwin_wayland "$session_dir/bin/kwin_wayland"
        # dbus-run-session ends its bus when KWin ends.
        spawn_log="$session_dir/kwin.log" wayland_spawn compositor_pid dbus-run-session -- sh -c \
            'echo "$DBUS_SESSION_BUS_ADDRESS" >"$0/bus"; echo $$ >"$0/kwin.pid"
             exec "$0/bin/kwin_wayland" --virtual --no-lockscreen --socket wayland-qmpvx' "$session_dir"
        compositor_ready() {
            [ -s "$session_dir/bus" ] && [ -s "$session_dir/kwin.pid" ] &&
                as_user env DBUS_SESSION_BUS_ADDRESS="$(cat "$session_dir/bus")" gdbus call --session \
                    -d org.kde.KWin -o /Scripting -m org.kde.kwin.Scripting.isScriptLoaded none >/dev/null 2>&1
        }
        ;;
    gnome)
        if [ ! -x /usr/bin/gnome-shell ]; then
            echo "SKIPPED: gnome-shell is not installed (package gnome-shell)."
            return 77
        fi
        # GNOME Shell does not start without a system bus (logind, accounts):
        # a private one that lets everything through.
        cat >"$session_dir/system-bus.conf" <<CONFIG
<busconfig>
  <type>system</type>
  <listen>unix:path=$session_dir/run/system_bus_socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/> <allow own="*"/>
    <allow send_type="method_call"/> <allow send_type="signal"/>
    <allow send_type="method_return"/> <allow send_type="error"/>
    <allow receive_type="method_call"/> <allow receive_type="signal"/>
    <allow receive_type="method_return"/> <allow receive_type="error"/>
  </policy>
</busconfig>
CONFIG
        local system_bus_pid
        wayland_spawn system_bus_pid dbus-daemon --nofork --config-file="$session_dir/system-bus.conf"
        session_env+=(DBUS_SYSTEM_BUS_ADDRESS="unix:path=$session_dir/run/system_bus_socket")
        # What the caller sets before the shell starts, as gsettings lines.
        [ -f "$session_dir/gnome-settings" ] || : >"$session_dir/gnome-settings"
        ! declare -F gnome_prepare >/dev/null || gnome_prepare
        [ -z "$session_user" ] || chown -R "$session_user" "$session_dir"
        spawn_log="$session_dir/gnome-shell.log" wayland_spawn compositor_pid dbus-run-session -- sh -c \
            'echo "$DBUS_SESSION_BUS_ADDRESS" >"$0/bus"; echo $$ >"$0/shell.pid"; . "$0/gnome-settings"
             exec gnome-shell --headless --wayland --virtual-monitor 1280x800' "$session_dir"
        compositor_ready() {
            [ -s "$session_dir/bus" ] && [ -s "$session_dir/shell.pid" ] &&
                grep -q 'Using public X11 display' "$session_dir/gnome-shell.log" &&
                as_user env DBUS_SESSION_BUS_ADDRESS="$(cat "$session_dir/bus")" gdbus call --session \
                    -d org.gnome.Shell -o /org/gnome/Shell -m org.freedesktop.DBus.Properties.Get \
                    org.gnome.Shell ShellVersion >/dev/null 2>&1
        }
        ;;
    *)
        wayland_spawn compositor_pid sway -c "$session_dir/sway.config"
        compositor_ready() { as_user env WAYLAND_DISPLAY="$socket" SWAYSOCK="$(find "$session_dir/run" -name 'sway-ipc.*' | head -1)" \
            swaymsg -t get_version >/dev/null 2>&1; }
        ;;
    esac
    local socket=""
    for _ in $(seq 150); do
        socket=$(find "$session_dir/run" -maxdepth 1 -name 'wayland-*' ! -name '*.lock' -printf '%f\n' 2>/dev/null | head -1)
        [ -n "$socket" ] && compositor_ready && break
        socket=""
        kill -0 "$compositor_pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ -z "$socket" ]; then
        echo "SKIPPED: headless $compositor did not start here. Its log:"
        cat "$session_dir/clients.log" "$session_dir/kwin.log" 2>/dev/null
        wayland_end
        return 77
    fi
    session_env+=(WAYLAND_DISPLAY="$socket")
    if [ "$compositor" = kwin ]; then
        session_pids+=("$(cat "$session_dir/kwin.pid")")
        session_env+=(DBUS_SESSION_BUS_ADDRESS="$(cat "$session_dir/bus")")
    elif [ "$compositor" = gnome ]; then
        session_pids+=("$(cat "$session_dir/shell.pid")")
        # Mutter's XWayland takes clients with the key it writes into the runtime folder.
        local x11
        x11=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$session_dir/gnome-shell.log" | head -1)
        session_env+=(DBUS_SESSION_BUS_ADDRESS="$(cat "$session_dir/bus")" DISPLAY="$x11"
                      XAUTHORITY="$(find "$session_dir/run" -maxdepth 1 -name '.mutter-Xwaylandauth.*' | head -1)")
    else
        local x11
        x11=$(xwayland_socket)
        session_env+=(SWAYSOCK="$(find "$session_dir/run" -name 'sway-ipc.*' | head -1)" DISPLAY=":${x11#X}")
    fi
}

# The socket of the compositor's XWayland display: the user's, new, not the host's.
xwayland_socket() {
    find /tmp/.X11-unix -maxdepth 1 -user "${session_user:-$(id -un)}" -name 'X*' ! -name "X$host" \
        -newer "$session_dir/sway.config" -printf '%f\n' | head -1
}

wayland_end() {
    local i pid
    # Clients first, the compositor last: a client that loses its compositor may linger.
    for ((i = ${#session_pids[@]} - 1; i >= 0; i--)); do
        pid=${session_pids[$i]}
        kill "$pid" 2>/dev/null
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
        kill -KILL "$pid" 2>/dev/null
    done
    session_pids=()
    if [ "$session_user_created" = 1 ]; then
        # What sway started itself (Xwayland) ends with it; anything left would keep the user.
        for _ in $(seq 20); do [ -z "$(ps -o pid= -u "$session_user")" ] && break; sleep 0.1; done
        for pid in $(ps -o pid= -u "$session_user"); do kill -KILL "$pid" 2>/dev/null; done
        userdel "$session_user" 2>/dev/null
        session_user_created=0 session_user=""
    fi
}

# The toplevels as sway lists them: one "app_id<TAB>title<TAB>focused" line each.
sway_toplevels() {
    as_user swaymsg -t get_tree | /usr/bin/python3 -c '
import json, sys
def walk(node):
    if node.get("pid") and node.get("type") in ("con", "floating_con"):
        print("%s\t%s\t%s" % (node.get("app_id") or (node.get("window_properties") or {}).get("class", ""),
                              node.get("name"), node.get("focused")))
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        walk(child)
walk(json.load(sys.stdin))'
}

# wait_for_toplevel TITLE [SECONDS]: in the compositor's list of windows
# ($toplevels, a command printing one window a line with its title second).
toplevels=sway_toplevels
wait_for_toplevel() {
    for _ in $(seq $((${2:-10} * 10))); do
        "$toplevels" | cut -f2 | grep -qxF "$1" && return 0
        sleep 0.1
    done
    return 1
}

focused_title() { sway_toplevels | awk -F'\t' '$3 == "True" { print $2 }'; }

# Raw, unechoed input: the file holds exactly the bytes the keys produced.
# Weston lists no windows to anyone: there the shell in foot says it is ready.
foot_target() {
    local var=$1 title=$2 file=$3
    : >"$file"
    : >"$file.ready"
    chmod 666 "$file" "$file.ready"
    wayland_spawn "$var" foot --title="$title" sh -c "stty raw -echo; echo >'$file.ready'; exec cat > '$file'"
    if [ "$session_compositor" = sway ]; then
        wait_for_toplevel "$title"
    else
        for _ in $(seq 100); do [ -s "$file.ready" ] && { sleep 0.3; return 0; }; sleep 0.1; done
        return 1
    fi
}

# program_begin: the settings file of the program under test ($program), in $conf.
program_begin() {
    conf="$session_dir/config/QM_PVX/qm-pvx.conf"
    # Qt's Wayland platform leaks at exit inside a library it has unloaded by
    # then, which no suppression can name.
    for i in "${!session_env[@]}"; do
        [[ ${session_env[$i]} == ASAN_OPTIONS=* ]] && session_env[$i]+=":detect_leaks=0"
    done
    mkdir -p "$(dirname "$conf")"
    [ -z "$session_user" ] || chown -R "$session_user" "$session_dir/config"
}
