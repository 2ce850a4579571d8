#!/usr/bin/env bash
# under-load.sh [RUNS]: runs the Windows tests (ctest --preset windows, after
# `./dev test` has built them) RUNS times in a row (10 by default) while
# `stress` keeps both cores busy, and prints how many runs passed. The logs of
# a failed run are kept as build/windows/under-load-N.log.
set -uo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-10} passed=0
stress --cpu "$(nproc)" >/dev/null 2>&1 &
stress_pid=$!
trap 'kill "$stress_pid" 2>/dev/null; wait "$stress_pid" 2>/dev/null' EXIT
for run in $(seq "$runs"); do
    if QMPVX_WINEPREFIX="$PWD/build/windows/wine" ctest --preset windows >/dev/null 2>&1; then
        passed=$((passed + 1))
        echo "run $run: passed"
    else
        cp build/windows/Testing/Temporary/LastTest.log "build/windows/under-load-$run.log"
        echo "run $run: FAILED (build/windows/under-load-$run.log)"
    fi
done
echo "$passed of $runs runs passed under load"
[ "$passed" -eq "$runs" ]
