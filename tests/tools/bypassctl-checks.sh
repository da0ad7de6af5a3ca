#!/bin/sh
# bypassctl as a process on simulated boards. Usage: bypassctl-checks.sh BYPASSCTL [RUNNER]
set -u
ctl="$1"
runner="${2:-}"
failures=0

# expect CODE TEXT ARGS...: the exit code, and TEXT somewhere in the output.
expect()
{
    code="$1"
    text="$2"
    shift 2
    output=$($runner "$ctl" "$@" 2>&1)
    actual=$?
    if [ "$actual" != "$code" ] || ! printf '%s' "$output" | grep -qF -- "$text"; then
        echo "FAILED: bypassctl $* -> exit $actual, wanted $code and \"$text\":"
        printf '%s\n' "$output"
        failures=$((failures + 1))
    fi
}

# What only the program shows: UTF-8 on its console, the trace on its
# standard error, its exit code; the commands themselves have their table.
expect 0 "5001  Luna Pier CRB    2,2    D525-LW        D525-LW(立华)平台" list
expect 0 "out8 4E F6
out8 4F 1E" --simulate MS-96E3 --trace wdt arm --action bypass --timeout 30
expect 2 "A subcommand is required" --simulate 6
[ -n "$runner" ] && expect 2 "not available on Windows" appliance --simulate 6

# The arguments are the characters typed, also on Windows, whose code page
# would turn fullwidth digits and dashes into ASCII ones and a path's
# Chinese characters into '?'.
expect 2 "３０" --simulate 6 wdt arm --action bypass --timeout ３０
expect 2 "－－simulate" －－simulate 6 status
expect 2 "ｏｎ" --simulate 6 bypass ｏｎ
data=$(mktemp -d) && mkdir "$data/数据" && echo none >"$data/数据/x.pid"
[ -n "$runner" ] && pidfile="Z:$data/数据/x.pid" || pidfile="$data/数据/x.pid"
expect 7 "pid file $pidfile does not hold a process id" keepalive --simulate 6 --timeout 4 \
    --interval 2 --pidfile "$pidfile"
rm -rf "$data"

# Without port access: the driver (Windows) or the privilege (Linux) is
# missing. Type 1's status touches no port beyond opening the driver.
if [ -z "$runner" ]; then
    if [ "$(id -u)" = 0 ]; then
        runner="setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all --bounding-set=-all --"
    fi
    expect 3 "no port access: neither /dev/porttalk" --type 1 status
    runner=""
    # Another process holds the board lock, or runs keepalive on the watchdog.
    BYPASSCTL_LOCK_DIR=$(mktemp -d)
    export BYPASSCTL_LOCK_DIR
    flock "$BYPASSCTL_LOCK_DIR/bypassctl.lock" sh -c "echo 4242 >$BYPASSCTL_LOCK_DIR/bypassctl.lock; sleep 4" &
    sleep 0.5
    expect 6 "process 4242 holds the bypassctl lock" --simulate 6 bypass on
    wait
    "$ctl" keepalive --simulate 6 --timeout 30 >/dev/null 2>&1 &
    timeout 10 sh -c "until [ -s $BYPASSCTL_LOCK_DIR/bypassctl-keepalive.pid ]; do sleep 0.1; done"
    expect 0 "keepalive (process $!) is driving this watchdog" --simulate 7 wdt stop
    kill $! && wait $!
    # A pid that another program has been given since is no keepalive.
    echo $$ >"$BYPASSCTL_LOCK_DIR/bypassctl-keepalive.pid"
    expect 0 '"simulated":true,"effect"' --simulate 7 wdt stop --json
    rm -rf "$BYPASSCTL_LOCK_DIR"
fi

[ "$failures" = 0 ] && echo "bypassctl checks: ok"
exit "$failures"
