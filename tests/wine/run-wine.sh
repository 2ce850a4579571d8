#!/usr/bin/env bash
# Runs a Windows program under Debian's Wine, in a prefix of the build's own,
# prepared once (without the Mono and Gecko prompts, which would wait forever).
set -euo pipefail
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=${QMPVX_WINEPREFIX:-/tmp/qm-pvx-wine}
export PATH="/usr/lib/wine:$PATH"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wine64 wineboot -i >/dev/null 2>&1 || true
    wineserver -w
fi
status=0
wine64 "$@" || status=$?
# The prefix's own processes (its desktop window among them) stay a moment
# after the program, bound to its X server: let them end, so that the next
# run, on an X server of its own, starts afresh.
wineserver -w
exit "$status"
