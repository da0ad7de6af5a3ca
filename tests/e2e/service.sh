#!/bin/sh
# bypassctl as the Windows service bypassctl-keepalive, through Wine's service
# manager on a prefix of its own, on a simulated board: install, start, see
# the status file count re-arms, stop, see the watchdog stopped, remove.
# Usage: service.sh WINE-WRAPPER WINESERVER BYPASSCTL PREFIX
set -u
wine="$1" wineserver="$2" bypassctl="$3" prefix="$4"
export WINEPREFIX="$prefix"
name=bypassctl-keepalive

fail() {
    echo "FAIL: $*"
    "$wineserver" -k 2>/dev/null
    exit 1
}
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
cp "$bypassctl" "$dir/bypassctl.exe"
status="$dir/status.json"
ctl() {
    "$wine" "$dir/bypassctl.exe" "$@" >"$dir/said" 2>&1
    code=$?
    tr -d '\r' <"$dir/said"
    return $code
}
state() {
    "$wine" sc query $name 2>/dev/null | tr -d '\r' | sed -n 's/.*STATE *: [0-9]*  *//p'
}
# Waits up to 30 s for the service state (or, with "file", the status file's).
wait_for() {
    for _ in $(seq 60); do
        case "$1" in
        file) grep -q "$2" "$status" 2>/dev/null && return 0 ;;
        *) [ "$(state)" = "$1" ] && return 0 ;;
        esac
        sleep 0.5
    done
    return 1
}

"$wineserver" -k -w 2>/dev/null
rm -rf "$prefix"
"$wine" wineboot -i >/dev/null 2>&1 || fail "cannot create $prefix"
# Wine's service manager gives a starting service process 10 s to connect,
# which a loaded machine can exceed; it reads the limit (in ms, as a string)
# when it starts, so the session is restarted.
"$wine" reg add 'HKLM\System\CurrentControlSet\Control' /v ServicesPipeTimeout /t REG_SZ \
    /d 120000 /f >/dev/null || fail "cannot set the service start timeout"
"$wineserver" -k -w 2>/dev/null

out=$(ctl service run --timeout 5)
[ $? -eq 2 ] && printf "%s\n" "$out" | grep -q "started by the service manager" ||
    fail "service run from a console was not refused with exit 2:
$out"
out=$(ctl service install --simulate 6 --timeout 5 --interval 5)
[ $? -eq 2 ] || fail "an interval keepalive refuses was installed:
$out"
"$wine" sc query $name >/dev/null 2>&1 && fail "a refused install left a service"

windows_status="Z:$(echo "$status" | tr / '\\')"
out=$(ctl service install --simulate 6 --timeout 5 --interval 1 --status-file "$windows_status") ||
    fail "install failed:
$out"
out=$(ctl service install --simulate 6 --timeout 5)
[ $? -eq 2 ] && printf "%s\n" "$out" | grep -q "already installed" ||
    fail "a second install was not refused with exit 2:
$out"

started=$("$wine" sc start $name 2>&1)
wait_for RUNNING || fail "the service did not start ($(state)): $started"
wait_for file '"rearms":[3-9]' || fail "no re-arms in the status file: $(cat "$status")"
grep -q '"state":"re-arming"' "$status" || fail "not re-arming: $(cat "$status")"

"$wine" sc stop $name >/dev/null 2>&1
wait_for STOPPED || fail "the service did not stop: $(state)"
grep -q '"state":"stopped"' "$status" && grep -q '"watchdog":{"running":false' "$status" ||
    fail "the stop did not disarm the simulated watchdog: $(cat "$status")"

out=$(ctl service remove) || fail "remove failed:
$out"
"$wine" sc query $name >/dev/null 2>&1 && fail "the service is still there after remove"
out=$(ctl service remove)
[ $? -eq 2 ] || fail "remove of a missing service did not exit 2:
$out"
"$wineserver" -k 2>/dev/null
echo "service: installed, started, re-armed, stopped disarmed, removed"
