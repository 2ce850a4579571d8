#!/usr/bin/env bash
# 1000 mixed Unicode characters (86 distinct ones outside the US layout) into
# foot and into a GTK 3 text field on headless GNOME Shell, through the
# program's GNOME Shell extension: seconds from the send to the last
# character arriving, and whether the text arrived exactly, per run. No other
# tool can type there (mutter offers neither the virtual-keyboard protocol
# nor anything to activate a window from outside).
# gnome_bench.sh WAYLAND_TYPE_TEXT [RUNS]
set -uo pipefail
type_text=$(realpath "$1")
runs=${2:-3}
dir=$(mktemp -d /tmp/qm-pvx-gnome-bench.XXXXXX)
chmod 755 "$dir" # the session user reads the text here
here=$(cd "$(dirname "$0")" && pwd)
# The extension takes requests from the benchmark's typing tool.
program=$type_text
QMPVX_GNOME_EXTENSION=$(dirname "$type_text")/../gnome-shell/qm-pvx@qm-pvx.github.io
source "$here/../tests/e2e/gnome_session.sh"
trap wayland_end EXIT
gnome_begin "$dir/session"
case $? in 0) ;; 77) exit 0 ;; *) exit 1 ;; esac

RANDOM=7
pool=()
for i in $(seq 0 31); do pool+=("$(printf "\\u$(printf %x $((0x0430 + i)))")"); done
for i in $(seq 0 23); do pool+=("$(printf "\\u$(printf %x $((0x03b1 + i)))")"); done
for i in $(seq 0 29); do pool+=("$(printf "\\u$(printf %x $((0x4e00 + i)))")"); done
pool+=(a b ' ')
text=""
for _ in $(seq 1000); do text+=${pool[RANDOM % ${#pool[@]}]}; done
printf '%s' "$text" >"$dir/text"
chmod 644 "$dir/text"

# run LABEL FILE: the send into the window titled LABEL, until FILE holds the text.
run() {
    local start end got
    start=$EPOCHREALTIME
    as_user "$type_text" "$1" "$dir/text" >/dev/null || { echo "$1: the send failed"; return; }
    for _ in $(seq 1000); do
        [ "$(cat "$2")" = "$text" ] && break
        sleep 0.01
    done
    end=$EPOCHREALTIME
    got=$(cat "$2")
    printf '%-24s %6s s   %s\n' "$1" "$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')" \
        "$([ "$got" = "$text" ] && echo exact || echo "NOT exact: ${#got} characters arrived")"
}

echo "1000 mixed Unicode characters (86 distinct outside the US layout), headless GNOME Shell" \
    "$(gnome-shell --version | awk '{print $3}'), send to last character:"
for n in $(seq "$runs"); do
    foot_target foot_pid "Foot run $n" "$dir/foot-$n" || { echo "foot did not open"; exit 1; }
    run "Foot run $n" "$dir/foot-$n"
    kill "$foot_pid"
    : >"$dir/gtk-$n"; chmod 666 "$dir/gtk-$n"
    wayland_spawn gtk_pid env GDK_BACKEND=wayland /usr/bin/python3 "$here/../tests/e2e/sway_gtk_target.py" \
        "GTK run $n" "$dir/gtk-$n"
    wait_for_toplevel "GTK run $n" || { echo "the GTK window did not open"; exit 1; }
    run "GTK run $n" "$dir/gtk-$n"
    kill "$gtk_pid"
done
