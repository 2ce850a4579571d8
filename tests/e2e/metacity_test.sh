#!/usr/bin/env bash
# Typing under metacity, a window manager that reloads its whole keymap on
# every mapping change and so holds up the X server for up to a second each
# time: borrowed characters must still arrive, the keyboard be as before.
# metacity_test.sh PROGRAM OUTDIR
set -uo pipefail
program=$1
out=$2
source "$(dirname "$0")/xsession.sh"
e2e_begin "$out" --metacity

xmodmap -pke >"$out/before.pke"

# type_once LABEL NOTATION EXPECTED [qt]: one manual send into a fresh
# terminal, or a fresh Qt text field.
type_once() {
    local label=$1 received="$out/$1.received" window target started
    printf '[General]\nWINDOW_NAME_TEXTBOX=Metacity Target\nTEXT_TO_SEND_TEXTBOX=%s\n' "$(ini_string "$2")" >"$conf"
    if [ "${4:-}" = qt ]; then
        toolkit_target qt "Metacity Target" "$received"
    else
        xterm_target "Metacity Target" "$received"
    fi
    target=$target_pid
    "$program" >"$out/$label.out" 2>"$out/$label.err" &
    local program_pid=$!
    window=$(wait_for_window "^QM-PVX - ") || { cat "$out/$label.err"; return 1; }
    click_control "$window" READY_BUTTON
    started=$EPOCHREALTIME
    click_control "$window" SEND_BUTTON
    for _ in $(seq 300); do
        [ "$(cat "$received")" = "$3" ] && break
        sleep 0.05
    done
    echo "$label: $(awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }') s to arrive"
    check "$label: exact" test "$(cat "$received")" = "$3"
    check "$label: keyboard mapping as before" keymap_settles "$out/before.pke"
    click_control "$window" EXIT_BUTTON
    check "$label: the program exits cleanly" bash -c "while kill -0 $program_pid 2>/dev/null; do sleep 0.05; done"
    wait "$program_pid"
    kill "$target"
    wait "$target" 2>/dev/null
}

for run in 1 2 3; do
    type_once "short-$run" 'Grüße {+}1 end ½ ŧ ∑' 'Grüße +1 end ½ ŧ ∑'
done
# More distinct characters than the empty keycodes hold at once.
many=""
for i in $(seq 0 59); do many+=$(printf "\\u$(printf %x $((0x0430 + i % 32)))\\u$(printf %x $((0x4e00 + i)))"); done
for run in 1 2; do
    type_once "segmented-$run" "$many" "$many"
done
# 1000 mixed characters into Qt, which answers pings: six stretches, each
# begun once Qt has read the one before, however long metacity holds the
# server up.
RANDOM=5
pool=(ä ö ü ß é è à ç ñ ø å æ œ 日 本 語 中 文 字 漢 Ω μ έ γ α λ ψ π Σ а б в г д е ж з и й к л м н € £ ¥ © ® 😀 🎉 🚀 𝄞)
for i in $(seq 0 29); do pool+=("$(printf "\\u$(printf %x $((0x4e00 + i)))")"); done
mixed=""
for _ in $(seq 1000); do mixed+=${pool[RANDOM % ${#pool[@]}]}; done
for run in 1 2; do
    type_once "qt-mixed-$run" "$mixed" "$mixed" qt
done

checks_done
