# Sourced by the KWin end-to-end script: the Wayland session on a headless
# KWin, and KWin's windows seen and activated through its scripting.

source "$(dirname "${BASH_SOURCE[0]}")/wayland_session.sh"

# kwin_script NAME BODY: runs a KWin script once (its output, by print(),
# goes to KWin's log) and unloads it.
kwin_script() {
    local file="$session_dir/$1.js" id
    printf '%s\n' "$2" >"$file"
    id=$(as_user gdbus call --session -d org.kde.KWin -o /Scripting -m org.kde.kwin.Scripting.loadScript \
        "$file" "$1" 2>/dev/null | tr -dc '0-9-')
    [ -n "$id" ] && [ "$id" -ge 0 ] || return 1
    as_user gdbus call --session -d org.kde.KWin -o "/$id" -m org.kde.kwin.Script.run >/dev/null 2>&1
    sleep 0.2
    as_user gdbus call --session -d org.kde.KWin -o /Scripting -m org.kde.kwin.Scripting.unloadScript \
        "$1" >/dev/null 2>&1
}

# The captions of KWin's windows, one a line, the active one marked with a *.
kwin_windows() {
    local marker="qmpvx-list-$RANDOM$RANDOM"
    kwin_script "$marker" "var all = workspace.clientList();
for (var i = 0; i < all.length; ++i)
    print('$marker ' + (all[i] === workspace.activeClient ? '*' : ' ') + all[i].caption);" || return 1
    grep -a "^js: $marker " "$session_dir/kwin.log" | sed "s/^js: $marker .//"
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
