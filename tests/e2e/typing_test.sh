#!/usr/bin/env bash
# The manual send, driven by clicks as a user would, typing into real
# applications: xterm (Xt) reading raw input into a file, and a GTK entry.
# typing_test.sh PROGRAM OUTDIR [--wm]
set -uo pipefail
program=$1
out=$2
wm=${3:-}
source "$(dirname "$0")/xsession.sh"
e2e_begin "$out" "$wm"

# settings TITLE TEXT ENTER: the stored settings for the next start.
settings() {
    printf '[General]\nWINDOW_NAME_TEXTBOX=%s\nTEXT_TO_SEND_TEXTBOX=%s\nAUTO_ENTER_KEY_TICKBOX=%s\n' \
        "$(ini_string "$1")" "$(ini_string "$2")" "$3" >"$conf"
}



# Notation, Enter tick box: the text as the notation means it, then one Enter.
xterm_target "Raw Target" "$out/raw"
# With a window manager, the targets are found minimised and on another desktop.
[ -n "$wm" ] && xdotool search --name '^Raw Target$' windowminimize --sync
settings "raw target" 'Sum: 2{+}2 {{}ok{}} 100{%} (x)~' 1
start_program raw || exit 1
send
expected=$(printf 'Sum: 2+2 {ok} 100%% x\r\r')
check "notation typed exactly, then Enter" wait_for_size "$out/raw" ${#expected}
check "exact bytes" test "$(cat "$out/raw")" = "$expected"
check "no key left pressed" no_key_down
check "program exits cleanly" exit_program
check "the text was saved by the send" grep -q 'Sum: 2{+}2' "$conf"

# Mixed Unicode with more distinct characters outside the layout than spare keycodes.
unicode='Grüße, 日本語 € £ Ωμέγα 😀 🎉 абвгдеёжзийклмнопрстуфхцчшщъыьэюя ÀÉÎÕÜ ñ'
xterm_target "Unicode Target" "$out/unicode"
[ -n "$wm" ] && xdotool set_num_desktops 2 search --name '^Unicode Target$' set_desktop_for_window %1 1
settings "Unicode Target" "$unicode" 0
xmodmap -pke >"$out/keymap.before"
xdotool key Caps_Lock  # must not change what is typed
start_program unicode || exit 1
send
check "mixed Unicode arrives whole" wait_for_size "$out/unicode" "$(printf '%s' "$unicode" | wc -c)"
sleep 0.3
check "mixed Unicode exact, Caps Lock ignored" test "$(cat "$out/unicode")" = "$unicode"
check "Caps Lock still on" bash -c "xset q | grep -q 'Caps Lock: *on'"
# Borrowed keycodes go back once the target must have read them, about two seconds later.
check "keyboard mapping as it was, seconds later" keymap_settles "$out/keymap.before"
xdotool key Caps_Lock
check "no key left pressed" no_key_down
check "program exits cleanly" exit_program

# A GTK entry (zenity) prints what it received when Enter confirms it.
settings "Zenity Target" "Zenity: $unicode" 1
zenity --entry --title "Zenity Target" >"$out/zenity" 2>/dev/null &
zenity_pid=$!
pids+=($zenity_pid)
wait_for_window "^Zenity Target$" >/dev/null
start_program zenity || exit 1
send
check "GTK entry confirmed by the Enter" wait_until_gone "$zenity_pid" 10
check "GTK entry received the exact text" test "$(cat "$out/zenity")" = "Zenity: $unicode"
check "no key left pressed" no_key_down
check "program exits cleanly" exit_program

# No window with that title: an error naming it, nothing typed anywhere.
xterm_target "Bystander" "$out/bystander"
settings "No Such Window" "never typed" 1
start_program nomatch || exit 1
send
check "error names the title" error_shown '"No Such Window"'
sleep 0.3
check "nothing typed into the window that had the focus" test ! -s "$out/bystander"
check "the text is not in the message" bash -c "! grep -q 'never typed' '$err'"
check "no key left pressed" no_key_down
check "program exits cleanly" exit_program

# The focus is taken away while typing: typing stops at once, and nothing
# reaches the window that took it. 200 ideographs, cycling, are more than the
# keycodes that can be borrowed at once, so the typing pauses between turns
# of remapping: long enough for the other window to take the focus.
letters=""
for i in $(seq 0 199); do letters+=$(printf "\\u$(printf %x $((0x4e00 + i)))"); done
long=""
for _ in $(seq 10); do long+=$letters; done
total=${#long}
xterm_target "Long Target" "$out/long"
: >"$out/bystander"
settings "Long Target" "$long" 1
start_program focus || exit 1
thief=$(xdotool search --name '^Bystander$' | head -n 1)
click_control "$window" READY_BUTTON
# Once typing has begun, the other window takes the focus as fast as it can,
# the way a window that pops up and focuses itself does.
(
    for _ in $(seq 2000); do
        [ "$(stat -c %s "$out/long")" -gt 100 ] && break
        sleep 0.002
    done
    xdotool windowfocus "$thief"
) &
click_control "$window" SEND_BUTTON
check "typing stopped with an error" error_shown "lost the focus after"
typed=$(sed -n "s/.*lost the focus after \([0-9]*\) of $total keys.*/\1/p" "$err")
received_all() {
    for _ in $(seq 60); do
        [ "$(wc -m <"$out/long")" = "${typed:-none}" ] && return 0
        sleep 0.05
    done
    return 1
}
check "the target got exactly the keys counted" received_all
check "some but not all keys were typed" test "${typed:-0}" -gt 0 -a "${typed:-$total}" -lt "$total"
check "nothing reached the other window" test ! -s "$out/bystander"
check "no key left pressed" no_key_down
check "program exits cleanly" exit_program

checks_done
