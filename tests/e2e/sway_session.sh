# Sourced by the sway end-to-end scripts and the Wayland benchmark: a
# headless sway (wlroots) with XWayland, run by an unprivileged user that is
# created for the run when started as root (sway refuses root). Everything
# started here is recorded by PID and ended by sway_end.

# The counted checks and the INI quoting of the X11 scripts.
source "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"

sway_pids=() sway_user="" sway_user_created=0

# The command as the session's user, with the session's environment only.
as_user() {
    if [ -n "$sway_user" ]; then
        runuser -u "$sway_user" -- env -i "${sway_env[@]}" "$@"
    else
        env -i "${sway_env[@]}" "$@"
    fi
}

# sway_spawn PIDVAR COMMAND...: in the background as the user; its own PID
# (not the one of runuser) goes into PIDVAR and onto the list to end, the
# background job (whose status is the command's) into PIDVAR_job. Output
# goes to $spawn_log, by default the session's clients.log.
sway_spawn() {
    local var=$1 pidfile
    shift
    pidfile=$(mktemp "$sway_dir/pid.XXXXXX")
    chmod 666 "$pidfile"
    as_user sh -c 'echo $$ >"$0"; exec "$@"' "$pidfile" "$@" >>"${spawn_log:-$sway_dir/clients.log}" 2>&1 &
    printf -v "${var}_job" '%s' "$!"
    for _ in $(seq 100); do [ -s "$pidfile" ] && break; sleep 0.02; done
    printf -v "$var" '%s' "$(cat "$pidfile")"
    sway_pids+=("${!var}")
}

# sway_begin DIR: the session, its files in DIR. Returns 77 (after saying
# why) when sway cannot start here.
sway_begin() {
    sway_dir=$1
    rm -rf "$sway_dir"
    mkdir -p "$sway_dir/run" "$sway_dir/home" "$sway_dir/config"
    if [ "$(id -u)" -eq 0 ]; then
        sway_user="qmpvx-sway-$$"
        useradd --no-create-home --home-dir "$sway_dir/home" --shell /bin/sh "$sway_user" || return 1
        sway_user_created=1
        chown -R "$sway_user" "$sway_dir"
    fi
    chmod 700 "$sway_dir/run"
    # Else XWayland makes the folder of X sockets, and it is the user's.
    [ -d /tmp/.X11-unix ] || { mkdir -p /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix; }
    cat >"$sway_dir/sway.config" <<'CONFIG'
xwayland enable
default_border normal
focus_on_window_activation focus
CONFIG
    sway_env=(HOME="$sway_dir/home" XDG_RUNTIME_DIR="$sway_dir/run" XDG_CONFIG_HOME="$sway_dir/config"
              PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 LC_ALL=C.UTF-8
              WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman WLR_HEADLESS_OUTPUTS=1)
    # The sanitizers' settings of the test run reach the programs started here.
    local name
    for name in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS; do
        [ -z "${!name:-}" ] || sway_env+=("$name=${!name}")
    done
    local sway_pid
    sway_spawn sway_pid sway -c "$sway_dir/sway.config"
    local socket=""
    for _ in $(seq 100); do
        socket=$(find "$sway_dir/run" -maxdepth 1 -name 'wayland-*' ! -name '*.lock' -printf '%f\n' 2>/dev/null | head -1)
        [ -n "$socket" ] && as_user env WAYLAND_DISPLAY="$socket" SWAYSOCK="$(find "$sway_dir/run" -name 'sway-ipc.*' | head -1)" \
            swaymsg -t get_version >/dev/null 2>&1 && break
        socket=""
        sleep 0.1
    done
    if [ -z "$socket" ]; then
        echo "SKIPPED: headless sway did not start here. Its log:"
        cat "$sway_dir/clients.log"
        sway_end
        return 77
    fi
    local x11
    x11=$(find /tmp/.X11-unix -maxdepth 1 -user "${sway_user:-$(id -un)}" -name 'X*' -newer "$sway_dir/sway.config" -printf '%f\n' | head -1)
    sway_env+=(WAYLAND_DISPLAY="$socket" SWAYSOCK="$(find "$sway_dir/run" -name 'sway-ipc.*' | head -1)"
               DISPLAY=":${x11#X}")
}

sway_end() {
    local pid
    for pid in "${sway_pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${sway_pids[@]}"; do
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
        kill -KILL "$pid" 2>/dev/null
    done
    sway_pids=()
    if [ "$sway_user_created" = 1 ]; then
        # What sway started itself (Xwayland) ends with it; anything left would keep the user.
        for _ in $(seq 20); do [ -z "$(ps -o pid= -u "$sway_user")" ] && break; sleep 0.1; done
        for pid in $(ps -o pid= -u "$sway_user"); do kill -KILL "$pid" 2>/dev/null; done
        userdel "$sway_user" 2>/dev/null
        sway_user_created=0
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

# wait_for_toplevel TITLE [SECONDS]
wait_for_toplevel() {
    for _ in $(seq $((${2:-10} * 10))); do
        sway_toplevels | cut -f2 | grep -qxF "$1" && return 0
        sleep 0.1
    done
    return 1
}

focused_title() { sway_toplevels | awk -F'\t' '$3 == "True" { print $2 }'; }

# Raw, unechoed input: the file holds exactly the bytes the keys produced.
foot_target() {
    local var=$1 title=$2 file=$3
    : >"$file"
    chmod 666 "$file"
    sway_spawn "$var" foot --title="$title" sh -c "stty raw -echo; exec cat > '$file'"
    wait_for_toplevel "$title"
}
