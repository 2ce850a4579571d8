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
