#!/usr/bin/env bash
# The real program on headless KWin (KDE Plasma's compositor), started as a
# user would with AutoStart and AutoClose in its settings, typing into a
# native Wayland window (Qt 6); without the desktop entry that lets it type,
# a text with characters the layout lacks, a title that names no window, a
# target that loses the activation while it is typed into, and a second
# layout (German) switched to.
# kwin_test.sh PROGRAM OUTDIR   (QMPVX_KWIN_QT_TARGET: the Qt 6 test window)
set -uo pipefail
program=$(realpath "$1")
out=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/kwin_session.sh"
trap wayland_end EXIT
wayland_begin "$out" kwin
session_or_skip KWin $?
# The settings file, the sanitizers' options and the Qt platform for the
# session just begun.
session_setup() {
    program_begin
    session_env+=(QT_QPA_PLATFORM=wayland)
}
# The desktop entry that lets the program type.
desktop_entry() {
    mkdir -p "$session_dir/home/.local/share/applications"
    printf '[Desktop Entry]\nType=Application\nName=QM-PVX under test\nExec=%s\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n' \
        "$program" >"$session_dir/home/.local/share/applications/qm-pvx-under-test.desktop"
}
session_setup


: >"$out/qt"
wayland_spawn qt_pid "$QMPVX_KWIN_QT_TARGET" "Qt KWin Target" "$out/qt"
wait_for_kwin_window "Qt KWin Target" || { echo "the Qt window did not open"; cat "$session_dir/clients.log"; exit 1; }
: >"$out/other"
wayland_spawn other_pid "$QMPVX_KWIN_QT_TARGET" "Other Window" "$out/other"
wait_for_kwin_window "Other Window" || { echo "the second Qt window did not open"; exit 1; }

text="Hello, KWin: 0123456789 [x] = y; \"q\" 'a' <b> / \\ | & * ! ? @ # \$ _ - \` , ."
snapshot() { cat "$out/qt" "$out/other" | md5sum; }

# KWin gives fake input only to a program a desktop entry names.
before=$(snapshot)
unattended no-entry "Qt KWin Target" "$text" 1
check "without a desktop entry: the error says what to install" \
    reported "$out/no-entry.log" "KWin does not let this program type: it takes keys only from programs whose desktop entry asks for them."
check "without a desktop entry: the error names this copy's path" \
    reported "$out/no-entry.log" "Exec=$program and X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input"
check "without a desktop entry: nothing typed anywhere" test "$(snapshot)" = "$before"
stop_program

desktop_entry

unattended ascii "QT KWIN" "$text" 1
check "Qt 6: the exact text and Enter (a title beginning with the text, ignoring case)" \
    arrives "$out/qt" "$text"$'\n'
check "Qt 6: the program closes itself with status 0" ends_by_itself 14
check "Qt 6: the other window got nothing" test ! -s "$out/other"

# A character the US layout lacks: refused whole before any key.
before=$(snapshot)
unattended outside-layout "Qt KWin Target" "abc日本" 1
check "a character outside the layout: the error names it and its place" reported "$out/outside-layout.log" \
    'Nothing was typed into "Qt KWin Target": The character "日" (U+65E5) at character 4 is not on the keyboard layout'
check "a character outside the layout: nothing typed anywhere" test "$(snapshot)" = "$before"
stop_program

# A title that names no other window: the program's own window begins with
# it, and is never a target.
unattended no-match "QM-PVX" "$text" 1
check "no matching window: the error says so" reported "$out/no-match.log" 'No window with the title "QM-PVX"'
check "no matching window: nothing typed anywhere" test "$(snapshot)" = "$before"
stop_program

# The target loses the activation while a long text is typed.
: >"$out/losing"
wayland_spawn losing_pid "$QMPVX_KWIN_QT_TARGET" "Losing Target" "$out/losing"
wait_for_kwin_window "Losing Target" || { echo "the third Qt window did not open"; exit 1; }
long=""
for _ in $(seq 12); do long+="$text "; done
lost_activation "$long" kwin_activate "Other Window"

# A second layout, switched to: its keys, AltGr included, from KWin's keymap.
wayland_end
wayland_begin "$out/de" kwin us,de || { echo "KWin did not start again"; exit 1; }
session_setup
desktop_entry
: >"$out/de.txt"
wayland_spawn de_pid "$QMPVX_KWIN_QT_TARGET" "German Target" "$out/de.txt"
wait_for_kwin_window "German Target" || { echo "the Qt window did not open"; exit 1; }
as_user gdbus call --session -d org.kde.keyboard -o /Layouts -m org.kde.KeyboardLayouts.setLayout 1 >/dev/null
german="Zürich, Straße: zy @ € µ {{}|{}} ÄÖÜ"
unattended german "German Target" "$german" 0
check "German layout: the exact text, AltGr characters included" arrives "$out/de.txt" "Zürich, Straße: zy @ € µ {|} ÄÖÜ"
stop_program

checks_done
