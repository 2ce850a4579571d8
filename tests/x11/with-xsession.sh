#!/usr/bin/env bash
# with-xsession.sh [--wm] [--xkb LAYOUT] COMMAND ARGS...
# Runs COMMAND on a fresh virtual X server of its own, with openbox when --wm is
# given and the keyboard layout LAYOUT (as setxkbmap names it, e.g. de) when
# --xkb is, and tears everything down afterwards, including any program COMMAND
# started and left behind.
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
command_pid=""
cleanup() {
    [ -n "$command_pid" ] && kill -KILL -- "-$command_pid" 2>/dev/null
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
