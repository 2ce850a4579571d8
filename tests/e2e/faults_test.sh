#!/usr/bin/env bash
# The keyboard survives what can go wrong while the program types into a real
# terminal: a termination signal, SIGKILL, two copies typing at once, and a
# target that reads its input late.
# faults_test.sh PROGRAM OUTDIR
set -uo pipefail
program=$1
out=$2
source "$(dirname "$0")/xsession.sh"
e2e_begin "$out" --wm
mkdir -p "$out/bin"

# copy NAME TITLE TEXT [KEY=VALUE...]: a copy of the program under its own
# name, with its own settings.
copy() {
    local name=$1 title=$2 text=$3
    shift 3
    ln -sf "$program" "$out/bin/$name"
    {
        printf '[General]\nWINDOW_NAME_TEXTBOX=%s\nTEXT_TO_SEND_TEXTBOX=%s\n' "$(ini_string "$title")" "$(ini_string "$text")"
        printf '%s\n' "$@"
    } >"$XDG_CONFIG_HOME/QM_PVX/$name.conf"
}
keyboard_snapshot() {
    xmodmap -pke >"$1.pke"
    xkbcomp -xkb "$DISPLAY" "$1.xkb" 2>/dev/null
}
keyboard_as_before() {
    keyboard_snapshot "$out/now"
    cmp -s "$out/now.pke" "$out/before.pke" && cmp -s "$out/now.xkb" "$out/before.xkb"
}
keyboard_changed() { ! keyboard_as_before; }
some_key_down() { ! no_key_down; }
caps_lock() { xset q | grep -q "Caps Lock: *$1"; }
characters() { wc -m <"$1"; }
wait_for_characters() {  # FILE COUNT
    for _ in $(seq 400); do
        [ "$(characters "$1")" -ge "$2" ] && return 0
        sleep 0.05
    done
    return 1
}
ended_with() {  # STATUS [PID]: the copy ended by itself, with this exit status
    local status=0 process=${2:-$pid}
    wait_until_gone "$process" 60 || return 1
    wait "$process" || status=$?
    [ "$status" = "$1" ] || { echo "exit status $status, expected $1"; return 1; }
}

# 120 distinct characters outside the layout, all with Shift held, so only
# the Shift levels of the borrowed keycodes type them: three reuses, two
# seconds apart, keep the send going for about six seconds.
long="+("
for i in $(seq 0 59); do long+=$(printf "\\u$(printf %x $((0x4e00 + i)))\\u$(printf %x $((0x3041 + i)))"); done
long+=")"
keyboard_snapshot "$out/before"

# A termination signal at about a third of the send (after the first 38
# keys, while the next stretch waits): typing stops before
# the next key, the keyboard is put back, the program ends by that signal.
for signal in TERM INT HUP; do
    xterm_target "Signal $signal" "$out/$signal.received"
    copy "signal-$signal" "Signal $signal" "$long"
    xdotool key Caps_Lock
    LAUNCHER="env --default-signal=INT" start_program "signal-$signal" "signal-$signal" || exit 1
    send
    wait_for_characters "$out/$signal.received" 30
    kill -"$signal" "$pid"
    number=$(kill -l "$signal")
    check "SIG$signal: the program ends by the signal" ended_with $((128 + number))
    check "SIG$signal: reported on standard error" grep -q "stopped after .* keys.*asked to end (SIG$signal)" "$out/signal-$signal.err"
    typed=$(sed -n 's/.*stopped after \([0-9]*\) of 120 keys.*/\1/p' "$out/signal-$signal.err")
    sleep 0.5
    check "SIG$signal: the target got exactly the keys counted, some but not all" \
        test "$(characters "$out/$signal.received")" = "${typed:-none}" -a "${typed:-0}" -lt 120
    check "SIG$signal: keymap and XKB map as before" keyboard_as_before
    check "SIG$signal: no key left down" no_key_down
    check "SIG$signal: Caps Lock on again" caps_lock on
    xdotool key Caps_Lock
done

# SIGKILL cannot be caught: the next start repairs what it left, before
# it shows its window, and then types as usual.
xterm_target "Killed" "$out/killed.received"
copy killed "Killed" "$long"
start_program killed killed || exit 1
send
wait_for_characters "$out/killed.received" 30
kill -KILL "$pid"
wait "$pid" 2>/dev/null
check "SIGKILL leaves keycodes borrowed" keyboard_changed
check "SIGKILL leaves Shift down" some_key_down
xterm_target "After Kill" "$out/after.received"
copy after "After Kill" "Grüße 日本語 +(ab)" AUTO_ENTER_KEY_TICKBOX=1
start_program after after || exit 1
check "the next start repaired the keyboard before its window showed" keyboard_as_before
check "and released the keys" no_key_down
check "and said so" grep -q "repaired: .*emptied again.*released" "$out/after.err"
send
check "then a send types exactly" wait_for_characters "$out/after.received" 13
check "the text and Enter" test "$(cat "$out/after.received")" = "$(printf 'Grüße 日本語 AB\r')"
kill "$pid"
check "SIGTERM outside a send ends the program" ended_with 143
check "keymap as before after the SIGTERM at rest" keyboard_as_before

# Two copies start typing at once, each into its own terminal: the second
# waits until the first has typed, so both texts arrive whole.
one="" two=""
for i in $(seq 0 59); do
    one+=$(printf "\\u$(printf %x $((0x0430 + i % 32)))\\u$(printf %x $((0x4e00 + i)))")
    two+=$(printf "\\u$(printf %x $((0x03b1 + i % 24)))\\u$(printf %x $((0xac00 + i)))")
done
xterm_target "Copy One" "$out/one.received"
xterm_target "Copy Two" "$out/two.received"
auto=(AUTOSTART_TICKBOX=1 AUTOCLOSE_TICKBOX=1 AUTO_ENTER_KEY_TICKBOX=1)
copy copy-one "Copy One" "$one" "${auto[@]}"
copy copy-two "Copy Two" "$two" "${auto[@]}"
start_program copy-one copy-one || exit 1
first=$pid
start_program copy-two copy-two || exit 1
check "the first copy ends by itself" ended_with 0 "$first"
check "the second copy ends by itself" ended_with 0
check "the first text arrived exactly" test "$(cat "$out/one.received")" = "$one"$'\r'
check "the second text arrived exactly" test "$(cat "$out/two.received")" = "$two"$'\r'
check "keymap as before after both" keyboard_as_before
check "no key left down after both" no_key_down

# Targets that read late: stopped from just before the send until 1.5 s
# later, each still gets every one of 1000 mixed characters: xterm, which
# cannot say when it has read the keys, by the settle clock; Qt and GTK by
# their answer to a ping, which comes only once they have read the keys.
RANDOM=11
pool=(ä ö ü ß é è à ç ñ ø å æ œ 日 本 語 中 文 字 漢 Ω μ έ γ α λ ψ π Σ а б в г д е ж з и й к л м н € £ ¥ © ® 😀 🎉 🚀 𝄞 a b c d e ' ')
mixed=""
for _ in $(seq 1000); do mixed+=${pool[RANDOM % ${#pool[@]}]}; done
for kind in xterm qt gtk; do
    received="$out/late-$kind.received"
    if [ "$kind" = xterm ]; then xterm_target "Late $kind" "$received"; else toolkit_target "$kind" "Late $kind" "$received"; fi
    copy "late-$kind" "Late $kind" "$mixed"
    start_program "late-$kind" "late-$kind" || exit 1
    click_control "$window" READY_BUTTON
    kill -STOP "$target_pid"
    click_control "$window" SEND_BUTTON
    sleep 1.3
    kill -CONT "$target_pid"
    wait_for_characters "$received" 1000
    sleep 0.3
    check "$kind, stopped: 1000 of 1000 characters arrive" test "$(characters "$received")" = 1000
    check "$kind, stopped: exactly" test "$(cat "$received")" = "$mixed"
    check "$kind, stopped: keymap as before, seconds later" keymap_settles "$out/before.pke"
    check "$kind, stopped: the program exits cleanly" exit_program
done

# Another program holding the keyboard takes every key, whatever has the
# focus: here a passphrase dialog (pinentry), which keeps its grab while
# another window is made active. Asked for its text, it waits on a pipe.
pinentry_open() {  # TITLE
    rm -f "$out/pinentry.in"
    mkfifo "$out/pinentry.in"
    pinentry-gtk-2 <"$out/pinentry.in" >"$out/pinentry.out" 2>&1 &
    pinentry_pid=$!
    pids+=("$pinentry_pid")
    exec {pinentry_fd}>"$out/pinentry.in"
    printf 'SETTITLE %s\nGETPIN\n' "$1" >&"$pinentry_fd"
    wait_for_window "^$1\$" >/dev/null
}
pinentry_close() {
    exec {pinentry_fd}>&-
    kill "$pinentry_pid" 2>/dev/null
    wait "$pinentry_pid" 2>/dev/null
}

# Open before the send: the unattended send types nothing anywhere and says
# why; it tries again every ten seconds, and types once the dialog is gone.
xterm_target "Behind Dialog" "$out/dialog.received"
pinentry_open "Passphrase Before"
copy dialog "Behind Dialog" "Grüße 日本語 ok" AUTOSTART_TICKBOX=1 AUTOCLOSE_TICKBOX=1
start_program dialog dialog || exit 1
check "a held keyboard: the send refuses, saying why" \
    error_shown "Another program holds the keyboard (an open menu, a dialog or a screen locker)"
check "a held keyboard: nothing was typed, it says" grep -q "holds the keyboard.*Nothing was typed" "$err"
check "a held keyboard: the target got nothing" test ! -s "$out/dialog.received"
pinentry_close
check "the dialog gone, the next try types the text" wait_for_characters "$out/dialog.received" 12
check "exactly" test "$(cat "$out/dialog.received")" = "Grüße 日本語 ok"
check "and the program ends by itself" ended_with 0

# A client that grabs the keyboard during a send of three stretches
# (xterm waits two seconds between them), taking no focus: the next
# stretch stops before its first key, and the target has exactly the keys
# counted.
xterm_target "Grab Midway" "$out/midway.received"
copy midway "Grab Midway" "$long"
start_program midway midway || exit 1
send
wait_for_characters "$out/midway.received" 30
"$QMPVX_KEYBOARD_GRABBER" >"$out/grabber.out" &
grabber_pid=$!
pids+=("$grabber_pid")
check "a grab midway: typing stops, saying why" error_shown "Another program holds the keyboard"
typed=$(sed -n 's/.*typing stopped after \([0-9]*\) of 120 keys.*/\1/p' "$err")
check "a grab midway: the target got exactly the keys counted, some but not all" \
    test "$(characters "$out/midway.received")" = "${typed:-none}" -a "${typed:-0}" -lt 120
check "a grab midway: the grab was there before the stop" grep -q grabbed "$out/grabber.out"
kill "$grabber_pid"
check "a grab midway: no key left down" no_key_down
check "a grab midway: keymap as before, seconds later" keymap_settles "$out/before.pke"
kill "$pid"
check "a grab midway: SIGTERM afterwards ends the program" ended_with 143

checks_done
