#!/usr/bin/env bash
# The real program on headless sway, started as a user would with AutoStart
# and AutoClose in its settings, typing into native Wayland windows (foot,
# GTK 3, Qt 6) and an X11 one (xterm through XWayland); a title that names no
# window, and a target that loses the activation while it is typed into.
# sway_test.sh PROGRAM OUTDIR   (QMPVX_SWAY_QT_TARGET: the Qt 6 test window)
set -uo pipefail
program=$(realpath "$1")
out=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wayland_session.sh"
trap wayland_end EXIT
wayland_begin "$out"
session_or_skip sway $?
program_begin

text="Grüße ñ ÿ, Ωμέγα ψ, Привет ж, 日本語 中文, 😀🎉 ok"

# Foot, without Enter, then with Enter; the second run closes itself.
foot_target foot_pid "Foot Target" "$out/foot" || { echo "foot did not open"; exit 1; }
unattended foot-plain "Foot Target" "$text" 0
check "foot: the exact text, no Enter" arrives "$out/foot" "$text"
stop_program
: >"$out/foot"
unattended foot-enter "foot target" "$text" 1
check "foot: the exact text and Enter (the title matched ignoring case)" arrives "$out/foot" "$text"$'\r'
check "foot: the program closes itself with status 0" ends_by_itself 14

# By hand, as a user without a mouse would: the program's window focused,
# Tab to "Ready To Send", Space, Tab to "SEND TEXT STRING", Space. The keys come from another virtual keyboard (wtype),
# whose keymap then is the seat's; wtype waits before its first key, which a
# seat that had no keyboard would lose. Closing the window ends the program.
press_in_program() {
    as_user swaymsg '[app_id="qm-pvx" title="^QM-PVX - "] focus' >/dev/null || return 1
    as_user wtype -s 300 "$@" -s 100
}
: >"$out/foot"
start_program manual "Foot Target" "$text" 1 0
if wait_for_toplevel "QM-PVX - qm-pvx"; then
    press_in_program -k Tab -s 50 -k Tab -s 50 -k Tab -s 50 -k Tab -s 50 -k Tab -s 50 -k Tab -s 50 -k space
    press_in_program -k Tab -s 50 -k space
    check "by hand: the exact text and Enter" arrives "$out/foot" "$text"$'\r' 4
    check "by hand: foot has the focus afterwards" test "$(focused_title)" = "Foot Target"
    as_user swaymsg '[app_id="qm-pvx" title="^QM-PVX - "] kill' >/dev/null
    check "by hand: closing the window ends the program with status 0" ends_by_itself 4
else
    check "by hand: the program's window opens" false
fi
stop_program

# GTK 3 and Qt 6, as native Wayland windows; xterm through XWayland.
: >"$out/gtk"; chmod 666 "$out/gtk"
wayland_spawn gtk_pid env GDK_BACKEND=wayland /usr/bin/python3 "$here/sway_gtk_target.py" "GTK Target" "$out/gtk"
if wait_for_toplevel "GTK Target"; then
    unattended gtk "GTK Tar" "$text" 1
    check "GTK 3: the exact text and Enter (a title beginning with the text)" arrives "$out/gtk" "$text"$'\n'
    stop_program
else
    check "GTK 3: the window opens" false
fi
: >"$out/qt"; chmod 666 "$out/qt"
wayland_spawn qt_pid env QT_QPA_PLATFORM=wayland "$QMPVX_SWAY_QT_TARGET" "Qt Target" "$out/qt"
if wait_for_toplevel "Qt Target"; then
    unattended qt "Qt Target" "$text" 1
    check "Qt 6: the exact text and Enter" arrives "$out/qt" "$text"$'\n'
    stop_program
else
    check "Qt 6: the window opens" false
fi
: >"$out/xterm"; chmod 666 "$out/xterm"
wayland_spawn xterm_pid xterm -u8 -T "XTerm Target" -e sh -c "stty raw -echo; exec cat > '$out/xterm'"
if wait_for_toplevel "XTerm Target"; then
    unattended xterm "XTerm Target" "$text" 1
    check "xterm (XWayland): the exact text and Enter" arrives "$out/xterm" "$text"$'\r'
    stop_program
    # Typed through X11, on the two levels XWayland lets a keycode carry:
    # Shift from the notation around borrowed characters, and more of them
    # than fit at once, in stretches.
    : >"$out/xterm"
    unattended xterm-shift "XTerm Target" 'Grüße, Ελληνικά, русский, 日本語 € 🙂 {(}ok{)}' 1
    check "xterm (XWayland): Shift before and after borrowed characters" \
        arrives "$out/xterm" $'Grüße, Ελληνικά, русский, 日本語 € 🙂 (ok)\r'
    stop_program
    many=""
    for i in $(seq 0 59); do many+=$(printf "\\u$(printf %x $((0x0430 + i % 32)))\\u$(printf %x $((0x4e00 + i)))"); done
    : >"$out/xterm"
    unattended xterm-stretches "XTerm Target" "+(ab)$many+(cd)x+(日本)y" 1
    check "xterm (XWayland): 120 characters outside the layout, in stretches" \
        arrives "$out/xterm" "AB${many}CDx日本y"$'\r' 30
    stop_program
else
    check "xterm (XWayland): the window opens" false
fi

no_match "$text" "$out/foot" "$out/gtk" "$out/qt" "$out/xterm"

# The target loses the activation while a long text is typed.
foot_target lost_pid "Losing Target" "$out/losing" || { echo "foot did not open"; exit 1; }
foot_target other_pid "Other Window" "$out/other" || { echo "foot did not open"; exit 1; }
long=""
for _ in $(seq 20); do long+="$text "; done
lost_activation "$long" as_user swaymsg '[title="^Other Window$"] focus'

checks_done
