#!/usr/bin/env bash
# The real program on headless weston, a Wayland desktop that lets no other
# program find, activate or type into its windows. X11 windows (xterm
# through XWayland) can be found, but weston activates none on request: the
# one that has the focus is typed into, another is refused with the advice
# to click it. For a native Wayland window (foot) the program says plainly
# what it can reach. Nothing is typed where it should not be.
# weston_test.sh PROGRAM OUTDIR
set -uo pipefail
program=$(realpath "$1")
out=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wayland_session.sh"
trap wayland_end EXIT
wayland_begin "$out" weston
session_or_skip weston $?
program_begin

text="Grüße, Ωμέγα, Привет, 日本語, 😀 ok"

foot_target foot_pid "Foot Target" "$out/foot" || { echo "foot did not open"; exit 1; }
# xterm_target FILE: xterm, opened now, has the focus.
xterm_target() {
    : >"$1"; chmod 666 "$1"
    wayland_spawn xterm_pid xterm -u8 -T "XTerm Target" -e sh -c "stty raw -echo; exec cat > '$1'"
    for _ in $(seq 100); do
        as_user xdotool search --name '^XTerm Target$' >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# The user starts the program, then clicks into xterm before it types.
unattended xterm "XTerm Target" "$text" 1
sleep 3
check "xterm (XWayland): the window opens" xterm_target "$out/xterm"
check "xterm (XWayland), with the focus: the exact text and Enter" arrives "$out/xterm" "$text"$'\r'
check "xterm (XWayland): the program closes itself with status 0" ends_by_itself 14

# Now the program's own window has the focus when it is to type.
: >"$out/xterm"
unattended refused "XTerm Target" "$text" 1
check "xterm (XWayland), without the focus: the activation is refused" \
    reported "$out/refused.log" 'Could not bring the window "XTerm Target" to the foreground'
stop_program

unattended native "Foot Target" "$text" 1
check "native window: the error says which windows can be reached" \
    reported "$out/native.log" 'No X11 window with the title "Foot Target" or a title beginning with it is open. On this Wayland desktop only windows of X11 programs'
sleep 0.5
check "native window: nothing typed into it" test ! -s "$out/foot"
check "nothing typed into xterm without the focus" test ! -s "$out/xterm"
stop_program

checks_done
