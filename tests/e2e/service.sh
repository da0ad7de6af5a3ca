#!/bin/sh
# bypassctl as the Windows service bypassctl-keepalive, through Wine's service
# manager on a prefix of its own, on a simulated board: install, start, see
# the status file count re-arms, stop, see the watchdog stopped, remove.
# Usage: service.sh WINE-WRAPPER WINESERVER BYPASSCTL PREFIX
set -u
wine="$1" wineserver="$2" bypassctl="$3" prefix="$4"
export WINEPREFIX="$prefix"
name=bypassctl-keepalive
dir=$(mktemp -d) || exit 1
trap '"$wineserver" -k 2>/dev/null; rm -rf "$dir"' EXIT
status="$dir/status.json"
fail() {
    echo "FAIL: $*"
    exit 1
}
in_state() {
    "$wine" sc query $name 2>/dev/null | grep -q "STATE *: [0-9]*  *$1"
}
within_30s() {
    for _ in $(seq 60); do "$@" 2>/dev/null && return 0; sleep 0.5; done
    return 1
}

"$wineserver" -k -w 2>/dev/null
rm -rf "$prefix"
"$wine" wineboot -i >/dev/null 2>&1 || fail "cannot create $prefix"
# Wine's service manager gives a starting service process 10 s to connect,
# which a loaded machine can exceed; it reads the limit (ms, as a string)
# when it starts, so the session is restarted.
"$wine" reg add 'HKLM\System\CurrentControlSet\Control' /v ServicesPipeTimeout /t REG_SZ \
    /d 120000 /f >/dev/null || fail "cannot set the service start timeout"
"$wineserver" -k -w 2>/dev/null

cp "$bypassctl" "$dir/bypassctl.exe"
out=$("$wine" "$dir/bypassctl.exe" service install --simulate 6 --timeout 5 --interval 1 \
    --status-file "Z:$(echo "$status" | tr / '\\')" 2>&1) || fail "install failed: $out"
out=$("$wine" sc start $name 2>&1)
within_30s in_state RUNNING || fail "the service did not start: $out"
within_30s grep -q '"rearms":[3-9]' "$status" || fail "no re-arms: $(cat "$status")"
grep -q '"state":"re-arming"' "$status" || fail "not re-arming: $(cat "$status")"

"$wine" sc stop $name >/dev/null 2>&1
within_30s in_state STOPPED || fail "the service did not stop"
grep -q '"state":"stopped"' "$status" && grep -q '"watchdog":{"running":false' "$status" ||
    fail "the stop did not disarm the simulated watchdog: $(cat "$status")"

out=$("$wine" "$dir/bypassctl.exe" service remove 2>&1) || fail "remove failed: $out"
"$wine" sc query $name >/dev/null 2>&1 && fail "the service is still there after remove"
echo "service: installed, started, re-armed, stopped disarmed, removed"
