#!/usr/bin/env bash
# with-xsession.sh [--wm] [--xkb LAYOUT] COMMAND ARGS...
# Runs COMMAND on a fresh virtual X server of its own, with openbox when --wm is
# given and the keyboard layout LAYOUT (as setxkbmap names it, e.g. de) when
# --xkb is, and tears everything down afterwards, including any program COMMAND
# started and left behind. With openbox, the file named by
# $QMPVX_ACTIVE_WINDOW_FILE holds the title of the window it focused last.
set -uo pipefail
wm="" xkb=""
while [ $# -gt 0 ]; do
    case "$1" in
    --wm) wm=--wm; shift ;;
    --xkb) [ $# -ge 2 ] || { echo "$0: --xkb needs a layout" >&2; exit 2; }; xkb=$2; shift 2 ;;
    *) break ;;
    esac
done
[ $# -gt 0 ] || { echo "usage: $0 [--wm] [--xkb LAYOUT] COMMAND ARGS..." >&2; exit 2; }
source "$(dirname "$0")/../e2e/xsession.sh"

dir=$(mktemp -d /tmp/qmpvx-xsession.XXXXXX)
command_pid="" watch_pid=""
cleanup() {
    [ -n "$command_pid" ] && kill -KILL -- "-$command_pid" 2>/dev/null
    [ -n "$watch_pid" ] && kill "$watch_pid" 2>/dev/null
    stop_x_session
    rm -rf "$dir"
}
trap cleanup EXIT
start_x_session "$dir" $wm || exit 1
if [ -n "$xkb" ]; then
    setxkbmap -display "$DISPLAY" "$xkb" || { echo "setxkbmap $xkb failed" >&2; exit 1; }
fi
if [ -n "$wm" ]; then
    # The desktops and client lists come just after the announcement.
    for _ in $(seq 100); do
        xprop -root _NET_NUMBER_OF_DESKTOPS 2>/dev/null | grep -q CARDINAL && break
        sleep 0.05
    done
    # The window manager focuses a new window, or another one when the focused
    # one goes, in its own time, and Wine then brings that window to the front:
    # a test waits for it here before it types. Replaced whole, never half written.
    export QMPVX_ACTIVE_WINDOW_FILE="$dir/active-window"
    : >"$QMPVX_ACTIVE_WINDOW_FILE"
    xprop -root -notype -spy _NET_ACTIVE_WINDOW 2>/dev/null | while read -r line; do
        xdotool getwindowname "${line##* }" >"$QMPVX_ACTIVE_WINDOW_FILE.new" 2>/dev/null
        mv -f "$QMPVX_ACTIVE_WINDOW_FILE.new" "$QMPVX_ACTIVE_WINDOW_FILE"
    done &
    watch_pid=$!
fi

# Job control gives COMMAND a process group of its own, which everything it
# starts joins, so that the clean-up can end them all.
set -m
"$@" &
command_pid=$!
wait "$command_pid"
status=$?
set +m
exit "$status"
