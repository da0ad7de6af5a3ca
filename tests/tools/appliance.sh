#!/bin/sh
# The virtual appliance end to end: one board that lives on the wall clock
# between processes. Usage: appliance.sh BYPASSCTL WATCHDOG_HOST
set -u
ctl="$1"
host="$2"
dir=$(mktemp -d)
# A keepalive of a test running beside this one owns only its own watchdog.
BYPASSCTL_LOCK_DIR="$dir"
export BYPASSCTL_LOCK_DIR
sock="$dir/appliance.sock"
log="$dir/log"
failures=0

fail()
{
    echo "FAILED: $*"
    failures=$((failures + 1))
}
# await TEXT SECONDS: the appliance logs TEXT within SECONDS.
await()
{
    timeout "$2" sh -c "until grep -qF '$1' '$log'; do sleep 0.05; done" || fail "no '$1' logged within $2 s"
}
stamp() { date -d "$(grep -m1 -F "$1" "$log" | cut -d' ' -f1)" +%s.%N; }

"$ctl" appliance --simulate 6 --socket "$sock" >"$log" 2>&1 &
appliance=$!
await "serving board type 6" 2
"$ctl" appliance --simulate 6 --socket "$sock" >/dev/null 2>&1
[ $? = 6 ] || fail "a second appliance started on a served socket"
[ "$(stat -c %a "$sock")" = 600 ] || fail "the socket's mode is not 0600"

# Armed by one process, read back counting by another, expired on time.
"$ctl" --appliance "$sock" wdt arm --action bypass --timeout 2 >/dev/null || fail "arm"
"$ctl" --appliance "$sock" --json status | grep -q '"enabled":true,"seconds_left":[12],' \
    || fail "status does not read back the live count"
await "watchdog expired: bypass" 4
await "relay 1: bypass" 1
awk -v from="$(stamp 'watchdog started')" -v to="$(stamp 'watchdog expired')" \
    'BEGIN { exit !(to - from >= 2 && to - from <= 3) }' || fail "expiry not 2 to 3 s after arming"

# A host program linked against the library, unchanged.
BYPASSTOOL_APPLIANCE="$sock" "$host" 1 | grep -q "board type 6: watchdog armed to restart in 1 s: done" \
    || fail "the host program did not arm the appliance"
await "system restarted (1 so far)" 3

# bypass on forces the MSI watchdog's expiry: refused while the chip reads
# back an arming for restart, done with --force.
"$ctl" --appliance "$sock" wdt arm --action restart --timeout 60 >/dev/null || fail "arm for restart"
"$ctl" --appliance "$sock" bypass on >"$dir/refused" 2>&1
[ $? = 4 ] && grep -qF "the system would restart" "$dir/refused" \
    || fail "bypass on was not refused while armed for restart: $(cat "$dir/refused")"
"$ctl" --appliance "$sock" bypass on --force >/dev/null || fail "bypass on --force"
await "system restarted (2 so far)" 2

# The driver's own answers to a raw client: an unlisted port, a wrong size,
# an unknown code.
python3 - "$sock" <<'PY' || fail "the refusals differ from the driver's"
import socket, struct, sys
s = socket.socket(socket.AF_UNIX)
s.connect(sys.argv[1])
def ask(code, data, out):
    s.sendall(struct.pack("<III", code, len(data), out) + data)
    return struct.unpack("<II", s.recv(8))
assert ask(0x9C402410, b"\x80\x00", 1) == (3, 0), "port 0x80 is refused"
assert ask(0x9C402410, b"\x4e\x00\x00", 1) == (2, 0), "a 3-byte read is malformed"
assert ask(0x12345678, b"", 0) == (1, 0), "an unknown code"
PY

kill -TERM $appliance
wait $appliance || fail "the appliance did not end cleanly on SIGTERM"
[ -e "$sock" ] && fail "the socket was left behind"
"$ctl" --appliance "$sock" status >/dev/null 2>&1
[ $? = 3 ] || fail "a dead appliance is not exit 3"
BYPASSTOOL_APPLIANCE="$sock" "$host" 1 | grep -q "virtual appliance at $sock does not answer" \
    || fail "the library did not say the appliance is gone"
rm -rf "$dir"
[ "$failures" = 0 ] && echo "appliance: ok"
exit "$failures"
