#!/bin/sh
# First use of the DLL on a fresh prefix, with PortTalk.sys beside the host:
# the DLL installs the driver and registers its service, Wine refuses to start
# it from the relative ImagePath, and with the path made absolute the next
# init starts it and opens the device. After that init opens it at once.
# Usage: first-use.sh WINE-WRAPPER WINESERVER INIT-PROBE PREFIX
set -u
wine="$1" wineserver="$2" probe="$3" prefix="$4"
key='HKLM\System\CurrentControlSet\Services\PortTalk'

fail() {
    echo "FAIL: $*"
    exit 1
}

# Runs the probe and compares everything it (and the DLL) printed.
expect_init() {
    what="$1" expected="$2"
    actual=$("$wine" "$probe" | tr -d '\r')
    [ "$actual" = "$expected" ] || fail "$what printed:
$actual
-- expected:
$expected"
}

"$wine" reg query "$key" >/dev/null 2>&1 && fail "the PortTalk service exists before first use"

# Windows would start the driver from "System32\Drivers\PortTalk.sys"
# relative to the system root; Wine 8 refuses a relative path (error 1114).
# (Wine also stores the registered ImagePath as REG_SZ, not REG_EXPAND_SZ.)
expect_init "first use" "PortTalk: The PortTalk driver does not exist. Installing driver.
PortTalk: This can take up to 30 seconds on some machines . .
PortTalk: Driver successfully installed.
PortTalk: Unknown error while starting PortTalk driver service.
PortTalk: Does PortTalk.SYS exist in your \\System32\\Drivers Directory?
PortTalk: Couldn't access PortTalk Driver, Please ensure driver is loaded.

init -> 0"

cmp -s "$(dirname "$probe")/PortTalk.sys" "$prefix/drive_c/windows/system32/drivers/PortTalk.sys" ||
    fail "PortTalk.sys was not copied into the drivers directory"

service=$("$wine" reg query "$key" | tr -d '\r')
for value in 'Type +REG_DWORD +0x1$' 'Start +REG_DWORD +0x3$' 'ErrorControl +REG_DWORD +0x1$' \
    'ImagePath +REG_(EXPAND_)?SZ +System32\\Drivers\\PortTalk\.sys$'; do
    echo "$service" | grep -Eq "^ +$value" || fail "service lacks $value:
$service"
done

# Wine 8's service manager loses a service it created when another program
# runs in the same session before the next one asks for it; a new session
# reads the service from the registry. So the registry is edited, and the
# next init runs, each in a session of its own, as after a reboot.
new_session() {
    WINEPREFIX="$prefix" "$wineserver" -k -w 2>/dev/null
}
new_session
"$wine" reg add "$key" /v ImagePath /t REG_EXPAND_SZ \
    /d 'C:\windows\system32\drivers\PortTalk.sys' /f >/dev/null || fail "cannot rewrite ImagePath"
new_session

expect_init "the next init" "PortTalk: The PortTalk driver has been successfully started.
init -> 1"

expect_init "a later run" "init -> 1"
echo "first use: installed, registered, started on the next init, opened at once after"
