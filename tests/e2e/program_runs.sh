# Sourced by the Wayland and KWin end-to-end scripts: the program under test
# ($program, its settings file $conf, its output in $out) started by its
# settings through the session's $program_spawner, and checks of what it did.

# unattended NAME TITLE TEXT ENTER: the program started with AutoStart and
# AutoClose; its PID in $program_pid, its output in $out/NAME.log.
unattended() { start_program "$@" 1; }
# start_program NAME TITLE TEXT ENTER AUTO: with both tick boxes AUTO.
start_program() {
    printf '[General]\nAUTOSTART_TICKBOX=%s\nAUTOCLOSE_TICKBOX=%s\nAUTO_ENTER_KEY_TICKBOX=%s\nWINDOW_NAME_TEXTBOX=%s\nTEXT_TO_SEND_TEXTBOX=%s\n' \
        "$5" "$5" "$4" "$(ini_string "$2")" "$(ini_string "$3")" >"$conf"
    chmod 666 "$conf"
    : >"$out/$1.log"
    chmod 666 "$out/$1.log"
    spawn_log="$out/$1.log" "$program_spawner" program_pid "$program"
}
stop_program() { kill "$program_pid" 2>/dev/null; wait "$program_pid_job" 2>/dev/null; }

# arrives FILE EXPECTED [SECONDS]: the file holds exactly EXPECTED within the
# time (the program types about ten seconds after its start).
arrives() {
    local got
    for _ in $(seq $((${3:-16} * 20))); do
        # The x keeps a final line feed, which $(...) would drop.
        { got=$(cat "$1"; printf x); } 2>/dev/null # a file caught mid-write
        [ "$got" = "$2"x ] && return 0
        sleep 0.05
    done
    echo "  expected: $(printf %q "$2")"
    echo "  got:      $(printf %q "${got%x}")"
    return 1
}
# reported LOG TEXT [SECONDS]: the program reported an error with TEXT.
reported() {
    for _ in $(seq $((${3:-16} * 20))); do
        grep -qF "$2" "$1" && return 0
        sleep 0.05
    done
    echo "  program output: $(cat "$1")"
    return 1
}
ends_by_itself() {
    for _ in $(seq $((${1} * 20))); do
        kill -0 "$program_pid" 2>/dev/null || { wait "$program_pid_job"; return; }
        sleep 0.05
    done
    return 1
}

# no_match TEXT FILE...: a title that names no other window ("QM-PVX": the
# program's own window begins with it, and is never a target). The error
# says so, and none of the targets writing FILE... gets anything.
no_match() {
    local text=$1 before
    shift
    before=$(cat "$@" | md5sum)
    unattended no-match "QM-PVX" "$text" 1
    check "no matching window: the error says so" reported "$out/no-match.log" 'No window with the title "QM-PVX"'
    check "no matching window: nothing typed anywhere" test "$(cat "$@" | md5sum)" = "$before"
    stop_program
}

# lost_activation LONG FOCUS_COMMAND...: LONG typed into $out/losing (program
# output in $out/lost.log) until the command moves the focus to the window
# that writes $out/other. Typing stops at the next key; Wayland cannot hold
# back a key already on its way, so the other window gets at most that one
# (or $on_its_way, where keys go in stretches).
lost_activation() {
    local long=$1 got other
    shift
    unattended lost "Losing Target" "$long" 1
    for _ in $(seq 320); do [ -s "$out/losing" ] && break; sleep 0.05; done
    "$@" >/dev/null
    check "lost activation: typing stops with the focus error" reported "$out/lost.log" 'lost the focus after'
    sleep 0.3
    got=$(cat "$out/losing")
    other=$(cat "$out/other")
    check "lost activation: the other window got at most ${on_its_way:-1} key(s) on the way (got: $other)" \
        test "${#other}" -le "${on_its_way:-1}" -a "${long:${#got}:${#other}}" = "$other"
    check "lost activation: the target got only a beginning of the text" \
        test -n "$got" -a "${#got}" -lt "${#long}" -a "${long:0:${#got}}" = "$got"
    echo "  the target got ${#got} of ${#long} characters, the other window ${#other};" \
        "$(grep -o 'lost the focus after [0-9]* of [0-9]* keys' "$out/lost.log" | head -1)"
    stop_program
}

# session_or_skip KIND STATUS: goes on after wayland_begin's STATUS 0, else
# ends the script: skipped (77) or failed.
session_or_skip() {
    case $2 in
    0) ;;
    77) exit 77 ;;
    *) echo "Could not prepare the $1 session."; exit 1 ;;
    esac
}
