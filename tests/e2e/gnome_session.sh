# Sourced by the GNOME end-to-end script and benchmark: the Wayland session
# on a headless GNOME Shell 43 with the program's extension installed for
# the session's user and enabled, as after installing the package, and what
# the shell itself says about its windows.
# Needs: $program (the program under test, added to the extension's
# callers), QMPVX_GNOME_EXTENSION (the extension as built).

source "$(dirname "${BASH_SOURCE[0]}")/wayland_session.sh"
gnome_uuid=qm-pvx@qm-pvx.github.io
gnome_helper="$(dirname "${BASH_SOURCE[0]}")/gnome_shell.py"

# Before the shell starts (called by wayland_begin); with gnome_extension=off,
# the extension is neither installed nor enabled.
gnome_prepare() {
    local folder="$session_dir/home/.local/share/gnome-shell/extensions/$gnome_uuid"
    {
        echo "gsettings set org.gnome.shell welcome-dialog-last-shown-version 999"
        [ "${gnome_extension:-on}" = off ] && return
        echo "gsettings set org.gnome.shell disable-user-extensions false"
        echo "gsettings set org.gnome.shell enabled-extensions \"['$gnome_uuid']\""
        echo "gsettings --schemadir '$folder/schemas' set org.gnome.shell.extensions.qm-pvx extra-callers \"['$program']\""
    } >"$session_dir/gnome-settings"
    mkdir -p "$(dirname "$folder")"
    cp -r "$QMPVX_GNOME_EXTENSION" "$folder"
}

# gnome_begin DIR: the session, with the extension running (or not, see
# gnome_prepare). Returns 77 when GNOME Shell cannot start here.
gnome_begin() {
    wayland_begin "$1" gnome || return
    [ "${gnome_extension:-on}" = off ] && return
    for _ in $(seq 100); do
        as_user gdbus introspect --session -d org.gnome.Shell -o /io/github/qm_pvx/Shell 2>/dev/null |
            grep -q io.github.qm_pvx.Shell1 && return 0
        sleep 0.1
    done
    echo "The extension did not start in GNOME Shell. Its log:"
    grep -i 'qm-pvx\|extension' "$session_dir/gnome-shell.log"
    return 1
}

# The shell's windows, one "*<TAB>title" line for the focused one and
# " <TAB>title" for each other.
gnome_windows() { as_user /usr/bin/python3 "$gnome_helper" windows; }
gnome_screenshot() { as_user /usr/bin/python3 "$gnome_helper" screenshot "$1"; }
gnome_focused() { gnome_windows | awk -F'\t' '$1 == "*" { print $2 }'; }
toplevels=gnome_windows
