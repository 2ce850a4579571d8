#!/usr/bin/env bash
# Types texts into a real terminal (xterm reading raw input into a file) on a
# virtual X server, with this program's typing and with xdotool at its default
# delay and at delay 0, and prints what arrived. For this program, "send" is
# what the user waits for and "keyboard" the time until borrowed keycodes
# were given back.
# typing_bench.sh TYPE_TEXT [RUNS] [BASELINE_TYPE_TEXT]
# With a baseline (the same tool built from an earlier version), its rows
# come first, for comparison in the same run.
set -uo pipefail
type_text=$1
runs=${2:-3}
baseline=${3:-}
dir=$(mktemp -d /tmp/qm-pvx-bench.XXXXXX)
source "$(dirname "$0")/../tests/e2e/xsession.sh"
export LC_ALL=C.UTF-8
trap 'pkill -P $$ xterm 2>/dev/null; stop_x_session' EXIT

RANDOM=7
# random_text COUNT POOL...: COUNT characters drawn from the pool.
random_text() {
    local count=$1 text=""
    shift
    local pool=("$@")
    for _ in $(seq "$count"); do text+=${pool[RANDOM % ${#pool[@]}]}; done
    printf '%s' "$text"
}
# The program gets texts in the key notation, the notation's own characters braced.
notation() { sed 's/[+^%~(){}]/{&}/g' <<<"$1" | head -c -1; }

printable=()
for c in {A..Z} {a..z} {0..9} ' ' '!' '"' '#' '$' '&' '*' ',' '-' '.' '/' ':' ';' '<' '=' '>' '?' '@' '\' '_' '`' '|' "'" '+' '^' '%' '~' '(' ')' '{' '}' '[' ']'; do
    printable+=("$c")
done
ascii=$(random_text 1000 "${printable[@]}")
# About 55 distinct characters outside the US layout, some beyond the BMP.
mixed_pool=(ä ö ü ß é è à ç ñ ø å æ œ 日 本 語 中 文 字 漢 Ω μ έ γ α λ ψ π Σ а б в г д е ж з и й к л м н € £ ¥ © ® 😀 🎉 🚀 𝄞 a b c d e ' ')
mixed=$(random_text 1000 "${mixed_pool[@]}")
# 86 distinct characters outside the layout: more than the empty keycodes
# hold at once, so the borrowed keycodes are reused.
wide_pool=()
for i in $(seq 0 31); do wide_pool+=("$(printf "\\u$(printf %x $((0x0430 + i)))")"); done
for i in $(seq 0 23); do wide_pool+=("$(printf "\\u$(printf %x $((0x03b1 + i)))")"); done
for i in $(seq 0 29); do wide_pool+=("$(printf "\\u$(printf %x $((0x4e00 + i)))")"); done
wide_pool+=(€ £ a b ' ')
wide=$(random_text 1000 "${wide_pool[@]}")
# The common case: one line of 60 characters, 30 of them distinct ones outside the layout.
line="Grüße aus Köln – Ωμέγα ж щ 日本語 ½ ∑ ŧ € £ ¥ © ® ñ ø å æ œ ç"

# run_once TOOL LABEL TEXT [WM] [STALL]: one typing into a fresh terminal on
# a fresh X session; prints a row.
run_once() {
    local tool=$1 label=$2 expected=$3 wm=${4:-openbox} stall=${5:-} received="$dir/received" start end
    start_x_session "$dir" "--$([ "$wm" = openbox ] && echo wm || echo "$wm")" || return
    : >"$received"
    xterm -u8 -T "Bench Target" -e sh -c "stty raw -echo; exec cat > '$received'" >/dev/null 2>&1 &
    local xterm_pid=$!
    local target
    target=$(wait_for_window '^Bench Target$') || { echo "no terminal"; kill "$xterm_pid"; stop_x_session; return; }
    xdotool windowactivate --sync "$target" 2>/dev/null
    sleep 0.3
    notation "$expected" >"$dir/notation"
    local waker=""
    if [ -n "$stall" ]; then
        kill -STOP "$xterm_pid"
        (sleep 1.5; kill -CONT "$xterm_pid") &
        waker=$!
    fi
    local times="" send keyboard="-"
    start=$(date +%s.%N)
    case $tool in
    qm-pvx) times=$("$type_text" "Bench Target" "$dir/notation") ;;
    baseline) times=$("$baseline" "Bench Target" "$dir/notation") ;;
    xdotool-default) xdotool type -- "$expected" ;;
    xdotool-delay0) xdotool type --delay 0 -- "$expected" ;;
    esac
    end=$(date +%s.%N)
    send=$(echo "$end - $start" | bc)
    [ -n "$times" ] && read -r send keyboard <<<"$times"
    keyboard=${keyboard:--}
    # Give the terminal time to read what is still queued (a stalled one
    # first wakes up), then compare: until all has come, or nothing more for 3 s.
    [ -n "$waker" ] && wait "$waker"
    local bytes last=-1 still=0 want
    want=$(printf '%s' "$expected" | wc -c)
    for _ in $(seq 200); do
        bytes=$(stat -c %s "$received")
        [ "$bytes" -ge "$want" ] && break
        if [ "$bytes" = "$last" ]; then still=$((still + 1)); else still=0; fi
        [ "$still" -ge 30 ] && break
        last=$bytes
        sleep 0.1
    done
    local got exact=no
    got=$(wc -m <"$received")
    [ "$(cat "$received")" = "$expected" ] && exact=yes
    printf '%-16s %-10s %-9s %8.3f %9s %9s %6s\n' "$tool" "$label" "$wm${stall:+, stall}" "$send" "$keyboard" \
        "$got/${#expected}" "$exact"
    kill -CONT "$xterm_pid" 2>/dev/null
    kill "$xterm_pid" 2>/dev/null
    wait "$xterm_pid" 2>/dev/null
    stop_x_session
}

rows() {  # LABEL TEXT WM STALL TOOLS...
    local label=$1 text=$2 wm=$3 stall=$4
    shift 4
    local tools=("$@")
    [ -n "$baseline" ] && tools=(baseline "${tools[@]}")
    for tool in "${tools[@]}"; do
        for _ in $(seq "$runs"); do run_once "$tool" "$label" "$text" "$wm" "$stall"; done
    done
}

printf '%-16s %-10s %-9s %8s %9s %9s %6s\n' tool text desktop send keyboard received exact
rows ascii "$ascii" openbox "" qm-pvx xdotool-default xdotool-delay0
rows mixed "$mixed" openbox "" qm-pvx xdotool-default xdotool-delay0
rows line60 "$line" openbox "" qm-pvx xdotool-default xdotool-delay0
rows wide86 "$wide" openbox "" qm-pvx xdotool-delay0
rows mixed "$mixed" openbox stall qm-pvx xdotool-delay0
rows line60 "$line" metacity "" qm-pvx xdotool-delay0
rows wide86 "$wide" metacity "" qm-pvx
