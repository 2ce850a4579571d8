#!/usr/bin/env bash
# Types texts into real X11 programs on a virtual X server, with this
# program's typing and with xdotool at its default delay, and prints when the
# whole text had arrived in the target, exactly or not. Targets: a Qt 6 text
# field, a GTK 3 text field and xterm (reading raw input into a file), each
# writing what it holds to a file whose modification time says when the
# last character came. For this program, "keyboard" is the time until the
# borrowed keycodes were given back and "waits" how often typing waited for
# earlier keys to be read before it could change the keyboard.
# typing_bench.sh TYPE_TEXT QT_TARGET [RUNS] [BASELINE_TYPE_TEXT]
# With a baseline (the same tool built from an earlier version), its rows
# come first, for comparison in the same run.
set -uo pipefail
type_text=$1
qt_target=$2
runs=${3:-3}
baseline=${4:-}
here=$(dirname "$0")
dir=$(mktemp -d /tmp/qm-pvx-bench.XXXXXX)
source "$here/../tests/e2e/xsession.sh"
export LC_ALL=C.UTF-8
export QMPVX_QT_TARGET=$qt_target
pids=()
trap 'for p in "${pids[@]}"; do kill -CONT "$p" 2>/dev/null; kill "$p" 2>/dev/null; done; stop_x_session' EXIT

# The same texts in every run: drawn in this shell, as a subshell draws
# from a fresh seed.
RANDOM=7
# random_text VAR COUNT POOL...: COUNT characters drawn from the pool.
random_text() {
    local var=$1 count=$2 text=""
    shift 2
    local pool=("$@")
    for _ in $(seq "$count"); do text+=${pool[RANDOM % ${#pool[@]}]}; done
    printf -v "$var" '%s' "$text"
}
# The program gets texts in the key notation, the notation's own characters braced.
notation() { sed 's/[+^%~(){}]/{&}/g' <<<"$1" | head -c -1; }

# 86 distinct characters outside the layout, drawn at random: more than the
# empty keycodes hold at once, so the borrowed keycodes are reused often.
wide_pool=()
for i in $(seq 0 31); do wide_pool+=("$(printf "\\u$(printf %x $((0x0430 + i)))")"); done
for i in $(seq 0 23); do wide_pool+=("$(printf "\\u$(printf %x $((0x03b1 + i)))")"); done
for i in $(seq 0 29); do wide_pool+=("$(printf "\\u$(printf %x $((0x4e00 + i)))")"); done
wide_pool+=(€ £ a b ' ')
random_text wide 1000 "${wide_pool[@]}"
# The same characters the way text has them: a paragraph of each script.
paragraph() {  # VAR FIRST COUNT: 333 letters of a script, in words
    local text="" letter
    for _ in $(seq 333); do
        printf -v letter "\\u$(printf %x $(($2 + RANDOM % $3)))"
        text+=$letter
        [ $((RANDOM % 6)) = 0 ] && text+=' '
    done
    printf -v "$1" '%s' "$text"
}
paragraph russian 0x0430 32
paragraph greek 0x03b1 24
paragraph chinese 0x4e00 30
prose=$russian$greek$chinese
prose=${prose:0:1000}
# The common case: one line of 60 characters, 30 of them distinct ones outside the layout.
line="Grüße aus Köln – Ωμέγα ж щ 日本語 ½ ∑ ŧ € £ ¥ © ® ñ ø å æ œ ç"

# run_once TOOL TARGET LABEL TEXT [WM] [STALL]: one typing into a fresh
# target on a fresh X session; prints a row.
run_once() {
    local tool=$1 kind=$2 label=$3 expected=$4 wm=${5:-openbox} stall=${6:-} received="$dir/received"
    start_x_session "$dir" "--$([ "$wm" = openbox ] && echo wm || echo "$wm")" || return
    : >"$received"
    if [ "$kind" = xterm ]; then xterm_target "Bench Target" "$received"; else toolkit_target "$kind" "Bench Target" "$received"; fi
    local window
    window=$(wait_for_window '^Bench Target$') || { echo "no $kind target"; stop_x_session; return; }
    xdotool windowactivate --sync "$window" 2>/dev/null
    sleep 0.5
    notation "$expected" >"$dir/notation"
    local waker=""
    if [ -n "$stall" ]; then
        kill -STOP "$target_pid"
        (sleep 1.5; kill -CONT "$target_pid") &
        waker=$!
    fi
    local times="" start send keyboard="-" waits="-"
    start=$EPOCHREALTIME
    case $tool in
    qm-pvx) times=$("$type_text" "Bench Target" "$dir/notation") ;;
    baseline) times=$("$baseline" "Bench Target" "$dir/notation") ;;
    xdotool) xdotool type -- "$expected" ;;
    esac
    send=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }')
    if [ -n "$times" ]; then
        # An earlier build prints only the send and the keyboard.
        if [ "$(wc -w <<<"$times")" = 2 ]; then read -r send keyboard <<<"$times"; else read -r start send keyboard waits <<<"$times"; fi
        waits=${waits:--}
    fi
    # Until the whole text is there, or nothing more came for 3 s.
    [ -n "$waker" ] && wait "$waker"
    local last="" still=0 now
    for _ in $(seq 400); do
        [ "$(cat "$received")" = "$expected" ] && break
        now=$(stat -c %s "$received")
        if [ "$now" = "$last" ]; then still=$((still + 1)); else still=0; fi
        [ "$still" -ge 60 ] && break
        last=$now
        sleep 0.05
    done
    local got exact=no arrived
    got=$(wc -m <"$received")
    [ "$(cat "$received")" = "$expected" ] && exact=yes
    arrived=$(awk -v a="$start" -v b="$(stat -c %.6Y "$received")" 'BEGIN { printf "%.3f", b - a }')
    printf '%-9s %-6s %-8s %-15s %8s %8s %9s %5s %9s %5s\n' "$tool" "$kind" "$label" "$wm${stall:+, stall}" \
        "$arrived" "$send" "$keyboard" "$waits" "$got/${#expected}" "$exact"
    kill -CONT "$target_pid" 2>/dev/null
    kill "$target_pid" 2>/dev/null
    wait "$target_pid" 2>/dev/null
    stop_x_session
}

rows() {  # TARGET LABEL TEXT WM STALL TOOLS...
    local kind=$1 label=$2 text=$3 wm=$4 stall=$5
    shift 5
    local tools=("$@")
    [ -n "$baseline" ] && tools=(baseline "${tools[@]}")
    for tool in "${tools[@]}"; do
        for _ in $(seq "$runs"); do run_once "$tool" "$kind" "$label" "$text" "$wm" "$stall"; done
    done
}

echo "Seconds from the start of the send: until the last character arrived, until the send returned, until the keyboard was back."
printf '%-9s %-6s %-8s %-15s %8s %8s %9s %5s %9s %5s\n' tool target text desktop arrived send keyboard waits received exact
for kind in qt gtk xterm; do
    rows "$kind" wide86 "$wide" openbox "" qm-pvx xdotool
    rows "$kind" prose86 "$prose" openbox "" qm-pvx
    rows "$kind" line60 "$line" openbox "" qm-pvx xdotool
done
for kind in qt xterm; do
    rows "$kind" wide86 "$wide" openbox stall qm-pvx
    rows "$kind" wide86 "$wide" metacity "" qm-pvx
done
rows xterm line60 "$line" metacity "" qm-pvx
