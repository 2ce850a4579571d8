#!/usr/bin/env bash
# 1000 mixed Unicode characters typed into a textarea in Chromium, which acts
# on a keycode by what it is (Back, HomePage, AudioMute...), not by the symbol
# mapped to it: every character must arrive, the page stay where it was, and
# no keycode that carries a symbol in the keymap be pressed for a borrowed one.
# chromium_test.sh PROGRAM OUTDIR
set -uo pipefail
program=$1
out=$2
here=$(dirname "$0")
source "$here/xsession.sh"
e2e_begin "$out" --wm
title="Chromium Target"

/usr/bin/python3 "$here/textarea_server.py" "$title" "$out/report" "$out/loads" >"$out/port" 2>"$out/server.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$out/port" ] && break; sleep 0.05; done
chromium --no-sandbox --user-data-dir="$out/profile" --no-first-run --disable-gpu --disable-quic \
    --disable-background-networking --disable-component-update --disable-sync --no-default-browser-check \
    --app="http://127.0.0.1:$(cat "$out/port")/" >"$out/chromium.log" 2>&1 &
pids+=($!)
wait_for_window "^$title\$" 30 >/dev/null || { echo "Chromium did not open"; tail "$out/chromium.log"; exit 1; }
sleep 2

RANDOM=5
pool=(ä ö ü ß é è à ç ñ ø å æ œ 日 本 語 中 文 字 漢 Ω μ έ γ α λ ψ π Σ а б в г д е ж з и й к л м н € £ ¥ © ® 😀 🎉 🚀 𝄞 δ η 어 щ a b c d e ' ')
text=""
for _ in $(seq 1000); do text+=${pool[RANDOM % ${#pool[@]}]}; done
printf '[General]\nWINDOW_NAME_TEXTBOX=%s\nTEXT_TO_SEND_TEXTBOX="%s"\n' "$title" "$text" >"$conf"
printf "%s" "$text" >"$out/expected"
xmodmap -pke >"$out/before.pke"

# Every key event of the session, as the X server delivers it.
xinput test-xi2 --root >"$out/events" 2>&1 &
recorder=$!
pids+=($recorder)
"$program" >"$out/program.out" 2>"$out/program.err" &
pid=$!
pids+=($pid)
window=$(wait_for_window "^QM-PVX - ") || { cat "$out/program.err"; exit 1; }
click_control "$window" READY_BUTTON
click_control "$window" SEND_BUTTON
arrived() {  # EXPECTED
    for _ in $(seq 300); do
        [ -f "$out/report" ] && [ "$(cat "$out/report")" = "$1" ] && return 0
        sleep 0.1
    done
    return 1
}
check "the textarea holds the 1000 characters exactly" arrived "$text"
echo "the textarea reported $(wc -m <"$out/report" 2>/dev/null || echo 0) characters"
check "the page was loaded once and never left" test "$(wc -l <"$out/loads")" = 1
kill "$recorder"

# Keycodes pressed while typing: empty ones, or the layout's keys for the
# text's own characters (a to e, space), and Shift and Level3 (AltGr) to reach levels.
pressed=$(awk '/EVENT type 2 \(KeyPress\)/ { key = 1 } key && /detail:/ { print $2; key = 0 }' "$out/events" | sort -un)
allowed=$(awk '$4 ~ /^(a|b|c|d|e|space|Shift_L|ISO_Level3_Shift)$/ || NF == 3 { print $2 }' "$out/before.pke" | sort -un)
check "some keys were recorded" test -n "$pressed"
stray=$(comm -23 <(echo "$pressed") <(echo "$allowed") | paste -sd' ')
check "no keycode with a symbol of its own was pressed for a borrowed character (stray: ${stray:-none})" test -z "$stray"
check "keyboard mapping as before, seconds later" keymap_settles "$out/before.pke"

# The browser's main process reads the X events and answers pings: stopped
# from just before a second send until 1.5 s later, it still gets every
# character, as it answers only once it has read the keys before.
browser=$(pgrep -o -f -- "--user-data-dir=$out/profile")
click_control "$window" READY_BUTTON
kill -STOP "$browser"
click_control "$window" SEND_BUTTON
sleep 1.3
kill -CONT "$browser"
check "stopped: the textarea holds the text twice, exactly" arrived "$text$text"
check "stopped: keyboard mapping as before, seconds later" keymap_settles "$out/before.pke"
click_control "$window" EXIT_BUTTON
check "the program exits cleanly" bash -c "while kill -0 $pid 2>/dev/null; do sleep 0.05; done"

checks_done
