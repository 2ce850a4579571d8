#!/usr/bin/env bash
# Settings that cannot be read, seen from outside the program: a text that is
# not UTF-8, and files that are not settings at all. Each is reported, nothing
# is typed from it, and the file is never rewritten.
# bad_settings_file_test.sh PROGRAM OUTDIR
set -uo pipefail
program=$1
out=$2
rm -rf "$out" && mkdir -p "$out"
source "$(dirname "$0")/xsession.sh"
start_x_session "$out" --wm || exit 1
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; stop_x_session' EXIT
export LC_ALL=C.UTF-8 XDG_CONFIG_HOME="$out/config"
conf="$XDG_CONFIG_HOME/QM_PVX/qm-pvx.conf"
mkdir -p "$(dirname "$conf")"

start_program() {  # start_program CASE: its output goes to OUTDIR/CASE.err
    err="$out/$1.err"
    "$program" >"$out/$1.out" 2>"$err" &
    pid=$!
    window=$(wait_for_window "^QM-PVX - qm-pvx$") || { echo "no window"; cat "$err"; return 1; }
}
# reported TEXT: the error window is up and standard error holds TEXT.
reported() {
    wait_for_window "^QM-PVX - Error$" >/dev/null || { echo "no error window"; return 1; }
    for _ in $(seq 100); do
        grep -qF "$1" "$err" && return 0
        sleep 0.05
    done
    echo "not reported: $1"; grep -v XDG_RUNTIME "$err"
    return 1
}
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
wait_for_size() {  # wait_for_size FILE BYTES
    for _ in $(seq 200); do
        [ "$(stat -c %s "$1")" -ge "$2" ] && return 0
        sleep 0.05
    done
    return 1
}
only_the_file_is_left() { test "$(ls -A "$(dirname "$conf")")" = "qm-pvx.conf"; }

# A text that is not UTF-8, in a file the program wrote itself.
: >"$out/raw"
xterm -u8 -T "Raw Target" -e sh -c "stty raw -echo; exec cat > '$out/raw'" >/dev/null 2>&1 &
pids+=($!)
target=$(wait_for_window '^Raw Target$')
printf '[General]\nWINDOW_NAME_TEXTBOX=Raw Target\nTEXT_TO_SEND_TEXTBOX=placeholder\n' >"$conf"
start_program first || exit 1
check "a first run writes the file" exit_program
{ grep -v '^TEXT_TO_SEND_TEXTBOX=' "$conf"; printf 'TEXT_TO_SEND_TEXTBOX=hunter2\xff\xfecd\xc3x\n'; } >"$out/bad.conf"
cp "$out/bad.conf" "$conf"

start_program utf8 || exit 1
check "the text is reported" reported "TEXT_TO_SEND_TEXTBOX is not valid UTF-8 text"
check "the report names the file" grep -qF "$conf" "$err"
click_control "$window" READY_BUTTON
click_control "$window" SEND_BUTTON
check "the send is refused before any window is activated" reported "The text to send could not be read from the settings"
# Keys typed now arrive after anything the program typed, so the file holds
# exactly these only if the program typed nothing.
focus_window "$target"
xdotool type MARK
check "nothing was typed before the marker" wait_for_size "$out/raw" 4
check "only the marker arrived" test "$(cat "$out/raw")" = MARK
check "Exit ends the program" exit_program
check "the text is never shown" bash -c "! grep -aq hunter2 '$out/utf8.out' '$err'"
check "the file is as it was" cmp "$conf" "$out/bad.conf"

# Files that are not settings: noise, noise too large to read, text without
# settings. Each is reported with its path and the way out, and left as it is.
head -c 65536 /dev/urandom >"$out/noise"
head -c 3145728 /dev/urandom >"$out/huge"
printf 'Dear diary,\ntoday I moved my notes here.\n' >"$out/text"
for garbage in noise huge text; do
    cp "$out/$garbage" "$conf"
    start_program "$garbage" || exit 1
    check "$garbage: reported as not a settings file" reported "$conf"
    check "$garbage: the report says it is not one" grep -qF "it is not a settings file" "$err"
    check "$garbage: the report says what to do" grep -qF "move it away, or delete it, to start afresh" "$err"
    check "$garbage: Exit ends the program" exit_program
    check "$garbage: the file is as it was" cmp "$conf" "$out/$garbage"
    check "$garbage: nothing else is left next to it" only_the_file_is_left
done

checks_done
