#!/bin/sh
# keepalive on a simulated board re-arms until SIGTERM, SIGINT or SIGHUP, then stops
# the watchdog and exits 0, leaving the model's watchdog stopped and its
# relays out of bypass. Usage: keepalive-sigterm.sh BYPASSCTL
set -u
failures=0
# A lock directory of its own, so that tests running beside it see no keepalive.
BYPASSCTL_LOCK_DIR=$(mktemp -d)
export BYPASSCTL_LOCK_DIR
for signal in TERM INT HUP; do
    output=$(mktemp)
    "$1" --simulate MS-96E3 --trace keepalive --timeout 3 --interval 1 >"$output" 2>&1 &
    pid=$!
    sleep 2.5
    kill -"$signal" "$pid"
    wait "$pid"
    status=$?
    cat "$output"
    # The stop is the last port traffic: device 8 deactivated, configuration left.
    last=$(grep -E "^(in|out)[0-9]|^sleep|^open|^close" "$output" | tail -n 2 | tr '\n' ' ')
    state=$(grep "^simulated" "$output" | tr '\n' ' ')
    rm -f "$output"
    if [ "$status" != 0 ]; then
        echo "FAILED: exit $status after SIG$signal"
        failures=$((failures + 1))
    elif [ "$last" != "out8 4E AA close " ]; then
        echo "FAILED: SIG$signal, ends with \"$last\""
        failures=$((failures + 1))
    elif [ "$state" != "simulated relays: segment 0 normal, segment 1 normal simulated watchdog: stopped " ]; then
        echo "FAILED: SIG$signal, board left as \"$state\""
        failures=$((failures + 1))
    else
        echo "keepalive stopped on SIG$signal"
    fi
done
rm -rf "$BYPASSCTL_LOCK_DIR"
exit "$failures"
