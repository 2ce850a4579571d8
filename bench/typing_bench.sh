#!/usr/bin/env bash
# Types 1000 characters into a real terminal (xterm reading raw input into a
# file) on a virtual X server with openbox, with this program's typing and with
# xdotool at its default delay and at delay 0, and prints what arrived.
# typing_bench.sh TYPE_TEXT [RUNS]
set -uo pipefail
type_text=$1
runs=${2:-3}
dir=$(mktemp -d /tmp/qm-pvx-bench.XXXXXX)
source "$(dirname "$0")/../tests/e2e/xsession.sh"
export LC_ALL=C.UTF-8
trap 'pkill -P $$ xterm 2>/dev/null; stop_x_session' EXIT

# (a) 1000 printable ASCII characters; the program gets them in the key
# notation, with the notation's own characters in braces.
RANDOM=7
ascii="" notation=""
printable=$(printf '%s' {A..Z} {a..z} {0..9} ' !"#$&*,-./:;<=>?@\_`|' "'" '+^%~(){}[]')
for _ in $(seq 1000); do
    c=${printable:RANDOM % ${#printable}:1}
    ascii+=$c
    case $c in [+^%~\(\)\{\}]) notation+="{$c}" ;; *) notation+=$c ;; esac
done
# (b) 1000 characters of mixed Unicode, far more distinct characters outside
# the US layout than it has spare keycodes, some outside the BMP.
pool=(ä ö ü ß é è à ç ñ ø å æ œ 日 本 語 中 文 字 漢 Ω μ έ γ α λ ψ π Σ а б в г д е ж з и й к л м н € £ ¥ © ® 😀 🎉 🚀 𝄞 a b c d e ' ')
unicode=""
for _ in $(seq 1000); do unicode+=${pool[RANDOM % ${#pool[@]}]}; done

printf '%s' "$notation" >"$dir/a.notation"
printf '%s' "$unicode" >"$dir/b.notation"

# run_once TOOL FILE EXPECTED LABEL: one typing into a fresh terminal on a
# fresh X session (a window manager may still be busy with the keymap changes
# of an earlier run); prints a row.
run_once() {
    local tool=$1 name=$2 expected=$3 label=$4 received="$dir/received" start end seconds
    start_x_session "$dir" --wm || return
    : >"$received"
    xterm -u8 -T "Bench Target" -e sh -c "stty raw -echo; exec cat > '$received'" >/dev/null 2>&1 &
    local xterm_pid=$!
    local target
    target=$(wait_for_window '^Bench Target$') || { echo "no terminal"; kill "$xterm_pid"; stop_x_session; return; }
    xdotool windowactivate --sync "$target" 2>/dev/null
    sleep 0.3
    start=$(date +%s.%N)
    case $tool in
    qm-pvx) "$type_text" "Bench Target" "$dir/$name.notation" >/dev/null ;;
    xdotool-default) xdotool type -- "$expected" ;;
    xdotool-delay0) xdotool type --delay 0 -- "$expected" ;;
    esac
    end=$(date +%s.%N)
    # Give the terminal time to read what is still queued, then compare.
    local bytes last=-1
    for _ in $(seq 100); do
        bytes=$(stat -c %s "$received")
        [ "$bytes" = "$last" ] && break
        last=$bytes
        sleep 0.1
    done
    seconds=$(echo "$end - $start" | bc)
    local got exact=no
    got=$(wc -m <"$received")
    [ "$(cat "$received")" = "$expected" ] && exact=yes
    printf '%-16s %-9s %8.3f %9s %6s\n' "$tool" "$label" "$seconds" "$got/${#expected}" "$exact"
    kill "$xterm_pid" 2>/dev/null
    wait "$xterm_pid" 2>/dev/null
    stop_x_session
}

printf '%-16s %-9s %8s %9s %6s\n' tool text seconds received exact
for name in ascii unicode; do
    expected=$ascii
    [ "$name" = unicode ] && expected=$unicode
    file=a
    [ "$name" = unicode ] && file=b
    for tool in qm-pvx xdotool-default xdotool-delay0; do
        for _ in $(seq "$runs"); do
            run_once "$tool" "$file" "$expected" "$name"
        done
    done
done
