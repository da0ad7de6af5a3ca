#!/bin/sh
# bypassctl driver install / status / remove on a fresh prefix, with the
# shipped PortTalk.sys beside bypassctl.exe: a tampered copy is refused and
# leaves nothing behind; a service left by a failed first use (registered,
# file missing) is repaired and started; the DLL then opens the device at
# once; remove leaves no service and no file. The driver only loads: nothing
# here makes it execute a port instruction.
# Usage: driver-command.sh WINE-WRAPPER WINESERVER BYPASSCTL DRIVER INIT-PROBE PREFIX
set -u
wine="$1" wineserver="$2" bypassctl="$3" driver="$4" probe="$5" prefix="$6"
export WINEPREFIX="$prefix"
key='HKLM\System\CurrentControlSet\Services\PortTalk'
installed="$prefix/drive_c/windows/system32/drivers/PortTalk.sys"

fail() {
    echo "FAIL: $*"
    exit 1
}
new_session() {
    "$wineserver" -k -w 2>/dev/null
}
nothing_installed() {
    ! "$wine" reg query "$key" >/dev/null 2>&1 && [ ! -e "$installed" ]
}
sha() {
    sha256sum "$1" | cut -c1-64
}

new_session
rm -rf "$prefix"
"$wine" wineboot -i >/dev/null 2>&1 || fail "cannot create $prefix"
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
cp "$bypassctl" "$dir/bypassctl.exe"
ctl() {
    "$wine" "$dir/bypassctl.exe" driver "$@" >"$dir/said" 2>&1
    code=$?
    tr -d '\r' <"$dir/said"
    return $code
}

# One byte more than the release's driver.
cp "$driver" "$dir/PortTalk.sys" && printf x >>"$dir/PortTalk.sys"
out=$(ctl install)
[ $? -eq 5 ] || fail "a tampered driver was not refused with exit 5:
$out"
for hash in "$(sha "$dir/PortTalk.sys")" "$(sha "$driver")"; do
    echo "$out" | grep -q "$hash" || fail "the refusal does not name $hash:
$out"
done
nothing_installed || fail "the refused install left something behind"

# What a first use of the DLL without PortTalk.sys beside the host leaves.
for value in "Type /t REG_DWORD /d 1" "Start /t REG_DWORD /d 3" "ErrorControl /t REG_DWORD /d 1" \
    'ImagePath /t REG_EXPAND_SZ /d System32\Drivers\PortTalk.sys'; do
    # shellcheck disable=SC2086 # the value's words are separate arguments
    "$wine" reg add "$key" /v $value /f >/dev/null || fail "cannot register the service"
done
new_session
# bypassctl's advice in that state names what mends it.
rm -f "$dir/PortTalk.sys"
out=$("$wine" "$dir/bypassctl.exe" --type 1 status 2>&1 | tr -d '\r')
echo "$out" | grep -q "run bypassctl driver install" || fail "no advice to run driver install:
$out"
new_session

cp "$driver" "$dir/PortTalk.sys"
out=$(ctl install) || fail "install failed:
$out"
echo "$out" | grep -q "is missing" || fail "install does not say what it repairs:
$out"
out=$(ctl status) || fail "status failed:
$out"
for line in "service: running" "image: .*PortTalk.sys" "file: .* matches this release" \
    "device: opens"; do
    echo "$out" | grep -q "^$line" || fail "status lacks '$line':
$out"
done
out=$("$wine" "$probe" | tr -d '\r')
[ "$out" = "init -> 1" ] || fail "the DLL did not open the device at once:
$out"

out=$(ctl remove) || fail "remove failed:
$out"
new_session
nothing_installed || fail "remove left the service or the file"
echo "driver install: tampered file refused, failed first use repaired, device opened, removed"
