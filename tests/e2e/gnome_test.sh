#!/usr/bin/env bash
# The real program on headless GNOME Shell (Wayland), with the program's
# GNOME Shell extension installed and enabled as after installing the
# package, started as a user would with AutoStart and AutoClose: a Unicode
# line and Enter into GTK 3, Qt 6 (native Wayland), foot and xterm through
# XWayland; 1000 mixed characters into foot; a title that names no window; a
# target that loses the focus mid-text; the program killed mid-text; a caller
# that is not the program. Then a session without the extension.
# gnome_test.sh PROGRAM OUTDIR   (QMPVX_GNOME_EXTENSION: the extension as
# built; QMPVX_SWAY_QT_TARGET: the Qt 6 test window)
set -uo pipefail
program=$(realpath "$1")
out=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/gnome_session.sh"
trap wayland_end EXIT
gnome_begin "$out" || session_or_skip "GNOME Shell" $?
program_begin
shots="$out/screenshots"
mkdir -p "$shots"
chmod 777 "$shots"

text='Grüße, Ελληνικά, русский, 日本語 € 🙂 {(}ok{)}'
typed='Grüße, Ελληνικά, русский, 日本語 € 🙂 (ok)'

# copy_begins NAME TITLE TEXT: a copy of the program named qm-pvx-NAME, with
# settings of its own (AutoStart, AutoClose, Enter), so that several count
# down at once; its PID in copy_NAME, its output in $out/NAME.log.
mkdir -p "$session_dir/bin"
chmod 755 "$session_dir/bin"
copy_begins() {
    ln -sf "$program" "$session_dir/bin/qm-pvx-$1"
    local saved=$conf
    conf="$session_dir/config/QM_PVX/qm-pvx-$1.conf"
    program="$session_dir/bin/qm-pvx-$1" unattended "$1" "$2" "$3" 1
    conf=$saved
    printf -v "copy_$1" '%s' "$program_pid"
    printf -v "copy_$1_job" '%s' "$program_pid_job"
}
# copy_ends NAME: the copy closed itself with status 0.
copy_ends() {
    local pid="copy_$1" job="copy_$1_job"
    for _ in $(seq 300); do kill -0 "${!pid}" 2>/dev/null || break; sleep 0.05; done
    ! kill -0 "${!pid}" 2>/dev/null && wait "${!job}"
}
# The XWayland keymap (it follows the shell's) as xkbcomp writes it out.
keymap() {
    as_user sh -c 'xkbcomp -xkb "$DISPLAY" "$0" 2>/dev/null' "$session_dir/keymap.xkb"
    md5sum <"$session_dir/keymap.xkb"
}

for kind in foot gtk qt xterm; do : >"$out/$kind"; chmod 666 "$out/$kind"; done
foot_target foot_pid "Foot Target" "$out/foot" || { echo "foot did not open"; exit 1; }
wayland_spawn gtk_pid env GDK_BACKEND=wayland /usr/bin/python3 "$here/sway_gtk_target.py" "GTK Target" "$out/gtk"
wayland_spawn qt_pid env QT_QPA_PLATFORM=wayland "$QMPVX_SWAY_QT_TARGET" "Qt Target" "$out/qt"
wayland_spawn xterm_pid xterm -u8 -T "XTerm Target" -e sh -c "stty raw -echo; exec cat > '$out/xterm'"
for title in "GTK Target" "Qt Target" "XTerm Target"; do
    wait_for_toplevel "$title" || { echo "$title did not open"; gnome_windows; exit 1; }
done

# A caller that is not the program is refused, and told why.
refusal=$(as_user gdbus call --session -d org.gnome.Shell -o /io/github/qm_pvx/Shell \
    -m io.github.qm_pvx.Shell1.ListWindows 2>&1)
check "another program than QM-PVX is refused (got: $refusal)" \
    grep -q 'io.github.qm_pvx.Shell1.Error.NotAllowed: /usr/bin/gdbus' <<<"$refusal"

# Killed mid-text: the keymap as it was, no key left down (the file stops
# growing, and what the next run types comes out exactly).
RANDOM=7
pool=(ä ö ü ß é è à ç ñ ø å æ œ 日 本 語 中 文 字 漢 Ω μ έ γ α λ ψ π Σ а б в г д е ж з и й к л м н € £ ¥ © ® 😀 🎉 🚀 a b c d e ' ')
mixed=""
for _ in $(seq 1000); do mixed+=${pool[RANDOM % ${#pool[@]}]}; done
foot_target killed_pid "Killed Target" "$out/killed" || { echo "foot did not open"; exit 1; }
# Seconds after the start: the shell has applied the layout by now.
layout_keymap=$(keymap)
unattended killed "Killed Target" "$mixed" 0
for _ in $(seq 320); do [ -s "$out/killed" ] && break; sleep 0.05; done
kill -KILL "$program_pid"
wait "$program_pid_job" 2>/dev/null
sleep 0.5
got=$(wc -m <"$out/killed")
check "killed mid-text: typing stopped part-way (got $got of 1000 characters)" test "$got" -gt 0 -a "$got" -lt 1000
check "killed mid-text: the keymap is the layout's again" test "$(keymap)" = "$layout_keymap"
check "killed mid-text: no temporary keymap is left behind" test -z "$(ls -A "$session_dir/config/xkb/symbols" 2>/dev/null)"
sleep 1
check "killed mid-text: no key is held (nothing repeats)" test "$(wc -m <"$out/killed")" = "$got"

# Four targets at once, each copy of the program 2.5 s after the one before.
copy_begins gtk "GTK Tar" "$text"
sleep 2.5
copy_begins qt "Qt Target" "$text"
sleep 2.5
copy_begins foot "foot target" "$text"
sleep 2.5
copy_begins xterm "XTerm Target" "$text"
check "GTK 3: the exact text and Enter (a title beginning with the text)" arrives "$out/gtk" "$typed"$'\n'
check "GTK 3: the program closes itself with status 0" copy_ends gtk
check "Qt 6: the exact text and Enter" arrives "$out/qt" "$typed"$'\n' 4
check "foot: the exact text and Enter (the title matched ignoring case)" arrives "$out/foot" "$typed"$'\r' 4
check "xterm (XWayland): the exact text and Enter" arrives "$out/xterm" "$typed"$'\r' 4
check "xterm (XWayland): the program closes itself with status 0" copy_ends xterm
gnome_screenshot "$shots/targets.png"
check "the keymap is the layout's after the sends" test "$(keymap)" = "$layout_keymap"

: >"$out/foot"
unattended thousand "Foot Target" "$mixed" 0
check "foot: 1000 mixed characters exactly" arrives "$out/foot" "$mixed" 20
stop_program

# Nothing is typed into the window with the focus either.
echo "  the focus is on \"$(gnome_focused)\""
no_match "$text" "$out/foot" "$out/gtk" "$out/qt" "$out/xterm"

# The target loses the focus mid-text: a window that opens takes it. The
# keys of the stretch on its way (at most 4) may reach that window.
foot_target losing_pid "Losing Target" "$out/losing" || { echo "foot did not open"; exit 1; }
on_its_way=4 lost_activation "${mixed:0:1000}" foot_target other_pid "Other Window" "$out/other"
gnome_screenshot "$shots/lost-focus.png"

# Without the extension: the message that says what to do, nothing typed.
wayland_end
gnome_extension=off gnome_begin "$out/without" || { echo "GNOME Shell did not start again"; exit 1; }
program_begin
foot_target foot_pid "Foot Target" "$out/without-foot" || { echo "foot did not open"; exit 1; }
unattended without "Foot Target" "$text" 1
check "without the extension: the message says how to enable it" reported "$out/without.log" \
    'enable the GNOME Shell extension qm-pvx@qm-pvx.github.io (installed with the package) with `gnome-extensions enable qm-pvx@qm-pvx.github.io`, then log out and in again'
sleep 1
gnome_screenshot "$shots/without-extension.png"
check "without the extension: nothing typed" test ! -s "$out/without-foot"
stop_program

echo "GNOME Shell $(gnome-shell --version | awk '{print $3}'), screenshots in $shots"
checks_done
