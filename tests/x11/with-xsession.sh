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

# For stop_x_session.
source "$(dirname "$0")/../e2e/xsession.sh"

dir=$(mktemp -d /tmp/qmpvx-xsession.XXXXXX)
command_pid=""
cleanup() {
    if [ -n "$command_pid" ]; then
        kill -TERM -- "-$command_pid" 2>/dev/null
        for _ in $(seq 20); do
            kill -0 -- "-$command_pid" 2>/dev/null || break
            sleep 0.05
        done
        kill -KILL -- "-$command_pid" 2>/dev/null
    fi
    stop_x_session
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Like start_x_session, but with a single read of the display number: a read
# that times out loses what it has read so far, and Xvfb may write the number
# and its line end separately. -noreset: a server that resets when its last
# client leaves refuses connections for a moment, and between two tests
# without a window manager that last client is the test itself.
exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1280x800x24 -nolisten tcp -dpi 96 -noreset >"$dir/xvfb.log" 2>&1 &
XVFB_PID=$!
number=""
read -r -t 10 -u "$display_fd" number
exec {display_fd}<&-
[ -n "$number" ] || { echo "Xvfb did not start" >&2; cat "$dir/xvfb.log" >&2; exit 1; }
export DISPLAY=":$number"

WM_PID=""
if [ -n "$wm" ]; then
    openbox >"$dir/openbox.log" 2>&1 &
    WM_PID=$!
    # The announcement comes first; the desktops just after.
    for _ in $(seq 100); do
        xprop -root _NET_NUMBER_OF_DESKTOPS 2>/dev/null | grep -q '(CARDINAL)' && break
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
