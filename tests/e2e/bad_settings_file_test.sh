#!/usr/bin/env bash
# Settings that cannot be read, seen from outside the program: a text that is
# not UTF-8, and files that are not settings at all. Each is reported, nothing
# is typed from it, and the file is never rewritten.
# bad_settings_file_test.sh PROGRAM OUTDIR
set -uo pipefail
program=$1
out=$2
source "$(dirname "$0")/xsession.sh"
e2e_begin "$out" --wm

only_the_file_is_left() { test "$(ls -A "$(dirname "$conf")")" = "qm-pvx.conf"; }

# A text that is not UTF-8, in a file the program wrote itself.
xterm_target "Raw Target" "$out/raw"
target=$(wait_for_window '^Raw Target$')
printf '[General]\nWINDOW_NAME_TEXTBOX=Raw Target\nTEXT_TO_SEND_TEXTBOX=placeholder\n' >"$conf"
start_program first || exit 1
check "a first run writes the file" exit_program
{ grep -v '^TEXT_TO_SEND_TEXTBOX=' "$conf"; printf 'TEXT_TO_SEND_TEXTBOX=hunter2\xff\xfecd\xc3x\n'; } >"$out/bad.conf"
cp "$out/bad.conf" "$conf"

start_program utf8 || exit 1
check "the text is reported" error_shown "TEXT_TO_SEND_TEXTBOX is not valid UTF-8 text"
check "the report names the file" grep -qF "$conf" "$err"
click_control "$window" READY_BUTTON
click_control "$window" SEND_BUTTON
check "the send is refused before any window is activated" error_shown "The text to send could not be read from the settings"
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
    check "$garbage: reported as not a settings file" error_shown "$conf"
    check "$garbage: the report says it is not one" grep -qF "it is not a settings file" "$err"
    check "$garbage: the report says what to do" grep -qF "move it away, or delete it, to start afresh" "$err"
    check "$garbage: Exit ends the program" exit_program
    check "$garbage: the file is as it was" cmp "$conf" "$out/$garbage"
    check "$garbage: nothing else is left next to it" only_the_file_is_left
done

checks_done
