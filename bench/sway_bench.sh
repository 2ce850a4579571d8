#!/usr/bin/env bash
# 1000 mixed Unicode characters into foot on headless sway: this program's
# typing against wtype after focusing the window with swaymsg, in the same
# session; seconds and whether the text arrived exactly, per run.
# sway_bench.sh WAYLAND_TYPE_TEXT [RUNS]
set -uo pipefail
type_text=$(realpath "$1")
runs=${2:-3}
dir=$(mktemp -d /tmp/qm-pvx-sway-bench.XXXXXX)
chmod 755 "$dir" # the session user reads the text here
source "$(dirname "$0")/../tests/e2e/wayland_session.sh"
trap wayland_end EXIT
wayland_begin "$dir/session"
case $? in 0) ;; 77) exit 0 ;; *) exit 1 ;; esac

RANDOM=7
pool=(ä ö ü ß é è à ç ñ ø å æ œ 日 本 語 中 文 字 漢 Ω μ έ γ α λ ψ π Σ а б в г д е ж з и й к л м н € £ ¥ © ® 😀 🎉 🚀 a b c d e ' ')
text=""
for _ in $(seq 1000); do text+=${pool[RANDOM % ${#pool[@]}]}; done
printf '%s' "$text" >"$dir/text"
chmod 644 "$dir/text"

seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
# row TOOL SECONDS FILE
row() {
    local got exact
    sleep 0.5
    got=$(cat "$2")
    exact=$([ "$got" = "$text" ] && echo exact || echo "NOT exact: ${#got} characters arrived")
    printf '%-34s %7s s   %s\n' "$1" "$3" "$exact"
}

echo "1000 mixed Unicode characters (about 55 outside the US layout) into foot, headless sway:"
for run in $(seq "$runs"); do
    foot_target program_foot "Bench Target $run" "$dir/program-$run" || { echo "foot did not open"; exit 1; }
    spent=$(as_user "$type_text" "Bench Target $run" "$dir/text")
    row "this program (run $run)" "$dir/program-$run" "$spent"
    kill "$program_foot"

    foot_target wtype_foot "Wtype Target $run" "$dir/wtype-$run" || { echo "foot did not open"; exit 1; }
    start=$EPOCHREALTIME
    as_user swaymsg "[title=\"^Wtype Target $run\$\"] focus" >/dev/null
    as_user wtype "$text"
    row "swaymsg focus + wtype (run $run)" "$dir/wtype-$run" "$(seconds "$start" "$EPOCHREALTIME")"
    kill "$wtype_foot"
done
