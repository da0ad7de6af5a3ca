#!/bin/sh
# Loads the shipped PortTalk.sys as a kernel driver service of the e2e
# prefix, in a session of its own so that the simulated driver (same device
# name) is not loaded, and sends it requests it must refuse. Nothing here
# makes the driver execute a port instruction.
# Usage: real-driver.sh WINE-WRAPPER WINESERVER PROBE DRIVER PREFIX
set -u
wine="$1" wineserver="$2" probe="$3" driver="$4" prefix="$5"
service=PortTalkReal
key="HKLM\\System\\CurrentControlSet\\Services\\$service"

fail() {
    echo "FAIL: $*"
    exit 1
}
new_session() {
    WINEPREFIX="$prefix" "$wineserver" -k -w 2>/dev/null
}

new_session
image="$("$wine" winepath -w "$driver" 2>/dev/null | tr -d '\r')"
[ -n "$image" ] || fail "no Windows path for $driver"
for value in "Type /t REG_DWORD /d 1" "Start /t REG_DWORD /d 3" "ErrorControl /t REG_DWORD /d 1"; do
    # shellcheck disable=SC2086 # the value's words are separate arguments
    "$wine" reg add "$key" /v $value /f >/dev/null || fail "cannot register $service"
done
"$wine" reg add "$key" /v ImagePath /t REG_EXPAND_SZ /d "$image" /f >/dev/null ||
    fail "cannot register $service"
new_session

"$wine" sc start "$service" >/dev/null || fail "$service did not start"
"$wine" "$probe" || fail "the driver answered a request it must refuse"
"$wine" sc stop "$service" >/dev/null
new_session
"$wine" reg delete "$key" /f >/dev/null
printf '%s\n' 'PortTalk.sys loaded, created \\.\PortTalk and refused every request outside its list'
