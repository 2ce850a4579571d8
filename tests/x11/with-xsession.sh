#!/usr/bin/env bash
# with-xsession.sh [--wm] COMMAND ARGS...
# Runs COMMAND on a fresh virtual X server of its own, with openbox when --wm is
# given, and tears everything down afterwards, including any program COMMAND
# started and left behind.
set -uo pipefail

wm=""
if [ "${1:-}" = --wm ]; then
    wm=--wm
    shift
fi
[ $# -gt 0 ] || { echo "usage: $0 [--wm] COMMAND ARGS..." >&2; exit 2; }

source "$(dirname "$0")/../e2e/xsession.sh"

dir=$(mktemp -d /tmp/qmpvx-xsession.XXXXXX)
command_pid=""
keeper_pid=""
cleanup() {
    if [ -n "$command_pid" ]; then
        kill -TERM -- "-$command_pid" 2>/dev/null
        for _ in $(seq 20); do
            kill -0 -- "-$command_pid" 2>/dev/null || break
            sleep 0.05
        done
        kill -KILL -- "-$command_pid" 2>/dev/null
    fi
    [ -n "$keeper_pid" ] && kill "$keeper_pid" 2>/dev/null && wait "$keeper_pid" 2>/dev/null
    stop_x_session
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

start_x_session "$dir" $wm || exit 1

# The X server resets whenever its last client leaves, and refuses connections
# while it does; between two tests of a session without a window manager that
# client is the test itself. A silent client holds the session open.
xprop -root -spy _QMPVX_KEEP_SESSION >"$dir/keeper.out" 2>&1 &
keeper_pid=$!
for _ in $(seq 100); do
    [ -s "$dir/keeper.out" ] && break
    sleep 0.05
done
[ -s "$dir/keeper.out" ] || { echo "could not connect to the virtual X server" >&2; exit 1; }
if [ -n "$wm" ]; then
    # The announcement comes first; the desktops and client lists just after.
    for _ in $(seq 100); do
        xprop -root _NET_NUMBER_OF_DESKTOPS _NET_CLIENT_LIST_STACKING 2>/dev/null | grep -q '_NET_NUMBER_OF_DESKTOPS(CARDINAL)' && break
        sleep 0.05
    done
    if ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
        echo "openbox did not start" >&2
        cat "$dir/openbox.log" >&2
        exit 1
    fi
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
