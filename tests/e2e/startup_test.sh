#!/usr/bin/env bash
# Start-up, settings and the main window, seen from outside the program,
# started through a link: a copy under another name keeps its own settings.
set -uo pipefail
program=$1
out=$2
rm -rf "$out" && mkdir -p "$out"
source "$(dirname "$0")/xsession.sh"
start_x_session "$out" --wm || exit 1
trap stop_x_session EXIT

export XDG_CONFIG_HOME="$out/config"
conf="$XDG_CONFIG_HOME/QM_PVX/night-shift.conf"
ln -sf "$program" "$out/night-shift"
stored() { sed -n "s/^$1=//p" "$conf"; }
run_program() {
    "$out/night-shift" >"$out/$1.out" 2>"$out/$1.err" &
    pid=$!
    window=$(wait_for_window "^QM-PVX - night-shift$") || { echo "no window"; cat "$out/$1.err"; return 1; }
    sleep 0.5
}
frame_position() {  # the outer frame's top-left, in pixels
    local x y left top
    x=$(xwininfo -id "$window" | sed -n 's/.*Absolute upper-left X: *//p')
    y=$(xwininfo -id "$window" | sed -n 's/.*Absolute upper-left Y: *//p')
    read -r left _ top _ < <(xprop -id "$window" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
    echo "$((x - left)) $((y - top))"
}
ended_cleanly() {  # the program ended, with no sanitizer report
    wait_until_gone "$pid" && wait "$pid"
}
client_size() { xdotool getwindowgeometry --shell "$window" | grep -E '^(WIDTH|HEIGHT)=' | cut -d= -f2 | paste -sd' '; }

# First start: design position and size, caption, then the close box saves seven keys.
run_program first || exit 1
check "caption names the link" test "$(xdotool getwindowname "$window")" = "QM-PVX - night-shift"
check "frame at 1000,1000 twips" test "$(frame_position)" = "67 67"
check "client area 9390 by 5865 twips" test "$(client_size)" = "626 391"
xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4
check "close box ends the program" ended_cleanly
check "seven keys stored under the link's name" test "$(grep -c '=' "$conf")" = 7
check "file is the owner's only" test "$(stat -c %a "$conf")" = 600
check "left stored as a whole number" test "$(stored MAIN-Left)" = 1000

# Bad stored values: defaults, a report naming key and store, the text never shown.
printf '[General]\nMAIN-Left=left edge\nAUTOSTART_TICKBOX=7\nMAIN-Top=300\nTEXT_TO_SEND_TEXTBOX=hunter2-secret\n' >"$conf"
run_program bad || exit 1
check "error reported on stderr" grep -q 'MAIN-Left = "left edge" is not a number' "$out/bad.err"
check "report says where the store is" grep -q "$conf" "$out/bad.err"
check "default left, stored top" test "$(frame_position)" = "67 20"
xdotool search --name "^QM-PVX - Error$" windowactivate --sync key Return 2>/dev/null
click_control "$window" EXIT_BUTTON
check "Exit ends the program" ended_cleanly
check "the text is never shown" bash -c "! grep -q hunter2 '$out/bad.out' '$out/bad.err'"
check "good values written back, the text kept" \
    test "$(stored MAIN-Left)/$(stored AUTOSTART_TICKBOX)/$(stored TEXT_TO_SEND_TEXTBOX)" = "1000/0/hunter2-secret"

# The command line: help and version without a display; anything else refused
# before anything starts, the settings untouched.
before=$(cat "$conf")
asked() { env -u DISPLAY -u WAYLAND_DISPLAY "$out/night-shift" "$@" >"$out/cli.out" 2>"$out/cli.err"; echo $?; }
check "--help: status 0" test "$(asked --help)" = 0
check "--help: usage under the link's name" grep -qx 'Usage: night-shift \[--help | --version\]' "$out/cli.out"
check "--help: names this copy's settings file" grep -qxF "  $conf" "$out/cli.out"
check "--version: status 0, version" test "$(asked --version)/$(cat "$out/cli.out")" = "0/night-shift (QM-PVX) 1.0"
check "unknown option: status 2" test "$(asked --titel=Notepad)" = 2
check "unknown option: says so on stderr only" \
    test "$(head -1 "$out/cli.err")/$(wc -c <"$out/cli.out")" = "night-shift: unknown option '--titel=Notepad'./0"
check "settings untouched" test "$(cat "$conf")" = "$before"

checks_done
