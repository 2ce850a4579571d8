# Shell helpers to drive the real program on a virtual X server, as a user would.
# Source it; every wait is bounded.

# check DESCRIPTION COMMAND...: one check, counted; checks_done: the summary
# line and the exit status.
passed=0 failed=0
check() {
    if "${@:2}"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $1"; fi
}
checks_done() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}

# start_x_session DIR [--wm|--metacity]: a fresh Xvfb on a free display,
# optionally with openbox or metacity.
start_x_session() {
    local dir=$1 wm=${2:-}
    mkdir -p "$dir"
    exec {display_fd}<> <(:)
    Xvfb -displayfd "$display_fd" -screen 0 1280x800x24 -nolisten tcp -dpi 96 -noreset >"$dir/xvfb.log" 2>&1 &
    XVFB_PID=$!
    local number=""
    read -r -t 10 -u "$display_fd" number
    exec {display_fd}<&-
    [ -n "$number" ] || { echo "Xvfb did not start" >&2; cat "$dir/xvfb.log" >&2; return 1; }
    export DISPLAY=":$number"
    WM_PID=""
    if [ "$wm" = --wm ] || [ "$wm" = --metacity ]; then
        if [ "$wm" = --wm ]; then openbox >"$dir/openbox.log" 2>&1 & else metacity --replace >"$dir/metacity.log" 2>&1 & fi
        WM_PID=$!
        for _ in $(seq 100); do
            xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
            sleep 0.05
        done
        # metacity sets the check before it manages windows.
        if [ "$wm" = --metacity ]; then sleep 1; fi
    fi
}

stop_x_session() {
    [ -n "${WM_PID:-}" ] && kill "$WM_PID" 2>/dev/null && wait "$WM_PID" 2>/dev/null
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    return 0
}

# wait_for_window REGEX [SECONDS]: prints the id of a visible window whose title matches.
wait_for_window() {
    local pattern=$1 seconds=${2:-10} id
    for _ in $(seq $((seconds * 20))); do
        id=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -n 1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.05
    done
    return 1
}

# ini_string TEXT: an INI string, quoted, with backslashes and quotes escaped.
ini_string() { local s=${1//\\/\\\\}; printf '"%s"' "${s//\"/\\\"}"; }

# keymap_settles FILE: the keyboard mapping (xmodmap -pke) is FILE's again
# within a few seconds, once borrowed keycodes have been given back.
keymap_settles() {
    for _ in $(seq 150); do
        xmodmap -pke | cmp -s - "$1" && return 0
        sleep 0.1
    done
    return 1
}

# wait_until_gone PID [SECONDS]: waits for a process to end.
wait_until_gone() {
    local pid=$1 seconds=${2:-10}
    for _ in $(seq $((seconds * 20))); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.05
    done
    return 1
}

# Centres of the main window's controls in twips, from the window's design.
declare -A CONTROL_CENTRE=(
    [READY_BUTTON]="2527 5407"
    [SEND_BUTTON]="5407 5407"
    [EXIT_BUTTON]="8227 5407"
)

# focus_window WINDOW: to the front with the focus, through the window manager if there is one.
focus_window() {
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
        xdotool windowactivate --sync "$1" 2>/dev/null
    else
        xdotool windowraise "$1" windowfocus --sync "$1" 2>/dev/null
    fi
}

# click_control WINDOW NAME: a left click in the middle of a control (96 dpi:
# 15 twips a pixel), on the window brought to the front first, as a user would,
# and a moment for the program to handle it.
click_control() {
    local window=$1 x y
    read -r x y <<<"${CONTROL_CENTRE[$2]}"
    focus_window "$window"
    xdotool mousemove --window "$window" $((x / 15)) $((y / 15)) click 1
    sleep 0.2
}

# The rest drives the program itself: `program` names it, `out` the folder.

# e2e_begin OUTDIR [--wm|--metacity]: a fresh folder and X session, the
# program's settings in OUTDIR/config ($conf under its own name), and every
# process listed in $pids ended (a stopped one too) when the script exits.
e2e_begin() {
    out=$1
    rm -rf "$out" && mkdir -p "$out/config/QM_PVX"
    start_x_session "$out" "${2:-}" || exit 1
    pids=()
    trap 'for p in "${pids[@]}"; do kill -CONT "$p" 2>/dev/null; kill "$p" 2>/dev/null; done; stop_x_session' EXIT
    export LC_ALL=C.UTF-8 XDG_CONFIG_HOME="$out/config"
    conf="$XDG_CONFIG_HOME/QM_PVX/qm-pvx.conf"
}

# xterm_target TITLE FILE: an xterm copying raw keyboard input into FILE;
# its pid in $target_pid.
xterm_target() {
    : >"$2"
    xterm -u8 -T "$1" -e sh -c "stty raw -echo; exec cat > '$2'" >/dev/null 2>&1 &
    target_pid=$!
    pids+=("$target_pid")
    wait_for_window "^$1\$" >/dev/null
}

# toolkit_target qt|gtk TITLE FILE: a Qt 6 ($QMPVX_QT_TARGET) or GTK 3 text
# area writing all it holds into FILE; its pid in $target_pid.
toolkit_target() {
    : >"$3"
    case $1 in
    qt) QT_QPA_PLATFORM=xcb "$QMPVX_QT_TARGET" "$2" "$3" >/dev/null 2>&1 & ;;
    gtk) GDK_BACKEND=x11 /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/sway_gtk_target.py" "$2" "$3" >/dev/null 2>&1 & ;;
    esac
    target_pid=$!
    pids+=("$target_pid")
    wait_for_window "^$2\$" >/dev/null
}

# start_program CASE [NAME]: the program (or its link NAME in $out/bin) with
# its output in OUTDIR/CASE.out and .err ($err); $pid, $window, $started.
# $LAUNCHER, if set, is the command that starts it.
start_program() {
    local name=${2:-qm-pvx} command=$program
    [ -n "${2:-}" ] && command="$out/bin/$2"
    err="$out/$1.err"
    ${LAUNCHER:-} "$command" >"$out/$1.out" 2>"$err" &
    pid=$!
    pids+=("$pid")
    started=$EPOCHREALTIME
    window=$(wait_for_window "^QM-PVX - $name\$") || { echo "no window"; cat "$err"; return 1; }
}
send() {
    click_control "$window" READY_BUTTON
    click_control "$window" SEND_BUTTON
}
# exit_program: the error window dismissed if shown, then Exit; the program ends cleanly.
exit_program() {
    local dialog
    dialog=$(xdotool search --name "^QM-PVX - Error$" | head -n 1)
    if [ -n "$dialog" ]; then
        focus_window "$dialog"
        xdotool key Escape
    fi
    click_control "$window" EXIT_BUTTON
    wait_until_gone "$pid" 10 && wait "$pid"
}
# error_shown TEXT: the error window is shown and standard error holds TEXT.
error_shown() {
    wait_for_window "^QM-PVX - Error$" >/dev/null || { echo "no error window"; return 1; }
    for _ in $(seq 100); do
        grep -qF "$1" "$err" && return 0
        sleep 0.05
    done
    echo "not reported: $1"; grep -v XDG_RUNTIME "$err"
    return 1
}
# wait_for_size FILE BYTES: FILE holds at least BYTES bytes, within 10 s.
wait_for_size() {
    for _ in $(seq 200); do
        [ "$(stat -c %s "$1")" -ge "$2" ] && return 0
        sleep 0.05
    done
    return 1
}
no_key_down() {
    local state
    state=$(xinput query-state "Virtual core XTEST keyboard") && ! grep -q '=down' <<<"$state"
}
