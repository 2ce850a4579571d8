# Sourced by the KWin end-to-end script: a headless KWin (kwin_wayland
# --virtual) on a session bus of its own (dbus-run-session). Everything
# started here is recorded by PID and ended by kwin_end.

# The counted checks and the INI quoting of the X11 scripts.
source "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"

kwin_pids=() kwin_session_pid=""

# The command with the session's environment only.
in_session() { env -i "${kwin_env[@]}" "$@"; }

# kwin_spawn PIDVAR COMMAND...: in the background in the session; its PID
# goes into PIDVAR and onto the list to end, the background job (whose status
# is the command's) into PIDVAR_job. Output goes to $spawn_log, by default
# the session's clients.log.
kwin_spawn() {
    local var=$1
    shift
    # exec, not the function: $! must be the command's own PID.
    exec env -i "${kwin_env[@]}" "$@" >>"${spawn_log:-$kwin_dir/clients.log}" 2>&1 &
    printf -v "$var" '%s' "$!"
    printf -v "${var}_job" '%s' "$!"
    kwin_pids+=("$!")
}

# kwin_script NAME BODY: runs a KWin script once (its output, by print(),
# goes to KWin's log) and unloads it.
kwin_script() {
    local file="$kwin_dir/$1.js" id
    printf '%s\n' "$2" >"$file"
    id=$(in_session gdbus call --session -d org.kde.KWin -o /Scripting -m org.kde.kwin.Scripting.loadScript \
        "$file" "$1" 2>/dev/null | tr -dc '0-9-')
    [ -n "$id" ] && [ "$id" -ge 0 ] || return 1
    in_session gdbus call --session -d org.kde.KWin -o "/$id" -m org.kde.kwin.Script.run >/dev/null 2>&1
    sleep 0.2
    in_session gdbus call --session -d org.kde.KWin -o /Scripting -m org.kde.kwin.Scripting.unloadScript \
        "$1" >/dev/null 2>&1
}

# The captions of KWin's windows, one a line, the active one marked with a *.
kwin_windows() {
    local marker="qmpvx-list-$RANDOM$RANDOM"
    kwin_script "$marker" "var all = workspace.clientList();
for (var i = 0; i < all.length; ++i)
    print('$marker ' + (all[i] === workspace.activeClient ? '*' : ' ') + all[i].caption);" || return 1
    grep -a "^js: $marker " "$kwin_dir/kwin.log" | sed "s/^js: $marker .//"
}

# wait_for_kwin_window TITLE [SECONDS]
wait_for_kwin_window() {
    for _ in $(seq $((${2:-10} * 4))); do
        kwin_windows | grep -qxF "$1" && return 0
        sleep 0.25
    done
    return 1
}

# kwin_activate TITLE: makes the window with that caption the active one.
kwin_activate() {
    kwin_script "qmpvx-activate-$RANDOM" "var all = workspace.clientList();
for (var i = 0; i < all.length; ++i)
    if (all[i].caption === $(ini_string "$1")) workspace.activeClient = all[i];"
}

# kwin_begin DIR [LAYOUTS]: the session, its files in DIR, with KWin's
# keyboard layouts (as in its settings: "de", "us,de"; else its default).
# Returns 77 (after saying why) when KWin cannot start here.
kwin_begin() {
    kwin_dir=$1
    rm -rf "$kwin_dir"
    mkdir -p "$kwin_dir/run" "$kwin_dir/home" "$kwin_dir/config" "$kwin_dir/bin"
    chmod 700 "$kwin_dir/run"
    [ -z "${2:-}" ] || printf '[Layout]\nLayoutList=%s\nUse=true\n' "$2" >"$kwin_dir/config/kxkbrc"
    if [ ! -e /usr/bin/kwin_wayland ]; then
        echo "SKIPPED: kwin_wayland is not installed (package kwin-wayland)."
        return 77
    fi
    # The installed one carries a file capability, which root may not be
    # allowed to exec in a container; a copy under the same name runs anywhere.
    cp /usr/bin/kwin_wayland "$kwin_dir/bin/kwin_wayland"
    kwin_env=(HOME="$kwin_dir/home" XDG_RUNTIME_DIR="$kwin_dir/run" XDG_CONFIG_HOME="$kwin_dir/config"
              XDG_DATA_HOME="$kwin_dir/home/.local/share" XDG_CACHE_HOME="$kwin_dir/home/.cache"
              PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 LC_ALL=C.UTF-8)
    local name
    for name in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS; do
        [ -z "${!name:-}" ] || kwin_env+=("$name=${!name}")
    done
    local socket="qmpvx-kwin-$$"
    # dbus-run-session ends its bus when KWin ends; KWin's PID comes from the shell it replaces.
    in_session dbus-run-session -- sh -c 'echo "$DBUS_SESSION_BUS_ADDRESS" >"$0/bus"; echo $$ >"$0/kwin.pid";
        exec "$0/bin/kwin_wayland" --virtual --no-lockscreen --socket "$1"' "$kwin_dir" "$socket" \
        >"$kwin_dir/kwin.log" 2>&1 &
    kwin_session_pid=$!
    for _ in $(seq 100); do [ -s "$kwin_dir/kwin.pid" ] && break; sleep 0.05; done
    [ -s "$kwin_dir/kwin.pid" ] && kwin_pids+=("$(cat "$kwin_dir/kwin.pid")")
    local ready=""
    for _ in $(seq 150); do
        if [ -S "$kwin_dir/run/$socket" ] && [ -s "$kwin_dir/bus" ] &&
            env -i DBUS_SESSION_BUS_ADDRESS="$(cat "$kwin_dir/bus")" gdbus call --session -d org.kde.KWin \
                -o /Scripting -m org.kde.kwin.Scripting.isScriptLoaded none >/dev/null 2>&1; then
            ready=1
            break
        fi
        kill -0 "$kwin_session_pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ -z "$ready" ]; then
        echo "SKIPPED: headless KWin did not start here. Its log:"
        cat "$kwin_dir/kwin.log"
        kwin_end
        return 77
    fi
    kwin_env+=(WAYLAND_DISPLAY="$socket" DBUS_SESSION_BUS_ADDRESS="$(cat "$kwin_dir/bus")")
}

kwin_end() {
    local pid
    # Clients first, KWin last: a client that loses its compositor may linger.
    for ((i = ${#kwin_pids[@]} - 1; i >= 0; i--)); do
        pid=${kwin_pids[$i]}
        kill "$pid" 2>/dev/null
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
        kill -KILL "$pid" 2>/dev/null
    done
    kwin_pids=()
    if [ -n "$kwin_session_pid" ]; then
        for _ in $(seq 50); do kill -0 "$kwin_session_pid" 2>/dev/null || break; sleep 0.05; done
        kill "$kwin_session_pid" 2>/dev/null
        wait "$kwin_session_pid" 2>/dev/null
        kwin_session_pid=""
    fi
}
