#!/usr/bin/env bash
# The unattended run, seen from outside the program.
# unattended_test.sh PROGRAM OUTDIR
set -uo pipefail
program=$1
out=$2
source "$(dirname "$0")/xsession.sh"
e2e_begin "$out" --wm

within() { awk -v v="$1" -v lo="$2" -v hi="$3" 'BEGIN { exit !(v >= lo && v <= hi) }'; }
since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }'; }
ended_cleanly() { wait_until_gone "$pid" "${1:-10}" && wait "$pid"; }

# All seven keys as the program writes them, so a run that changes nothing
# leaves the file as it was.
printf '[General]\nAUTOCLOSE_TICKBOX=1\nAUTOSTART_TICKBOX=1\nAUTO_ENTER_KEY_TICKBOX=1\nMAIN-Left=1000\nMAIN-Top=1000\nTEXT_TO_SEND_TEXTBOX="Grüße, 日本語 😀"\nWINDOW_NAME_TEXTBOX=Unattended Target\n' >"$conf"
cp "$conf" "$out/conf.before"
xterm_target "Unattended Target" "$out/received"

# AutoStart, AutoClose, Enter: typed about ten seconds after the start, closed
# about ten seconds later, with no click at all.
start_program unattended || exit 1
for _ in $(seq 300); do [ -s "$out/received" ] && break; sleep 0.05; done
arrival=$(since "$started")
arrived_at=$EPOCHREALTIME
check "the program closes itself" ended_cleanly 15
closing=$(since "$arrived_at")
echo "text arrived ${arrival} s after the start; the program ended ${closing} s after that"
check "typed about ten seconds after the start" within "$arrival" 9.5 12
check "closed about ten seconds after that" within "$closing" 9.5 12
sleep 0.2
check "the text and one Enter arrived" test "$(cat "$out/received")" = "$(printf 'Grüße, 日本語 😀\r')"
check "the settings file holds what it held" cmp -s "$conf" "$out/conf.before"
check "the settings file is the owner's only" test "$(stat -c %a "$conf")" = 600

# The target appears only 15 s after the start: the first automatic send
# fails and is reported, the next one types; the program still ends by
# itself, with no window left behind.
sed -i 's/^WINDOW_NAME_TEXTBOX=.*/WINDOW_NAME_TEXTBOX=Late Target/' "$conf"
: >"$out/late"
start_program late || exit 1
( sleep 15; exec xterm -u8 -T "Late Target" -e sh -c "stty raw -echo; exec cat > '$out/late'" >/dev/null 2>&1 ) &
pids+=($!)
error_window_shown() { wait_for_window '^QM-PVX - Error$' 14 >/dev/null; }
check "the first attempt is reported" error_window_shown
check "the program ends by itself with status 0" ended_cleanly 40
echo "the late run ended $(since "$started") s after the start"
check "the late target got the text and Enter" test "$(cat "$out/late")" = "$(printf 'Grüße, 日本語 😀\r')"
check "no window of the program is left" bash -c "! xdotool search --name '^QM-PVX' >/dev/null 2>&1"

checks_done
