#!/bin/sh
# keepalive re-arms until SIGTERM, then stops the watchdog and exits 0.
# Usage: keepalive-sigterm.sh BYPASSCTL
set -u
output=$(mktemp)
"$1" --simulate MS-96E3 --trace keepalive --timeout 3 --interval 1 >"$output" 2>&1 &
pid=$!
sleep 2.5
kill -TERM "$pid"
wait "$pid"
status=$?
cat "$output"
last=$(grep -v "^re-armed" "$output" | tail -n 2 | tr '\n' ' ')
rm -f "$output"
[ "$status" = 0 ] || { echo "FAILED: exit $status after SIGTERM"; exit 1; }
# The stop is the last port traffic: device 8 deactivated, configuration left.
[ "$last" = "out8 4E AA close " ] || { echo "FAILED: ends with \"$last\""; exit 1; }
echo "keepalive stopped on SIGTERM"
