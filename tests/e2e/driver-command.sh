#!/bin/sh
# bypassctl driver install / status / remove on a fresh prefix, with the
# shipped PortTalk.sys, signed here with a certificate made here (as a
# release is signed), beside bypassctl.exe: a signed copy with one byte of
# its code changed is refused, naming the image digest osslsigncode
# computes, and leaves nothing behind; a service left by a failed first use
# (registered, file missing) is repaired and started; status checks the file
# the service's ImagePath names; the DLL then opens the device at once;
# remove leaves no service and no file, and a second remove says so. The
# driver only loads: nothing here makes it execute a port instruction.
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
digest() {
    osslsigncode verify -in "$1" 2>/dev/null | awk '/^Calculated message digest/ { print tolower($5) }'
}
u32() {
    od -An -tu4 -j"$2" -N4 "$1" | tr -d ' '
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

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/key.pem" -out "$dir/cert.pem" -days 1 \
    -subj /CN=PortTalk-test >/dev/null 2>&1 || fail "cannot make a certificate"
osslsigncode sign -certs "$dir/cert.pem" -key "$dir/key.pem" -h sha256 -in "$driver" \
    -out "$dir/signed.sys" >/dev/null || fail "cannot sign the driver"

# The signed driver with one byte of its first section (the code) changed.
pe=$(u32 "$driver" 60)
code=$(($(u32 "$driver" $((pe + 24 + $(od -An -tu2 -j$((pe + 20)) -N2 "$driver") + 20))) + 16))
cp "$dir/signed.sys" "$dir/PortTalk.sys"
printf '\314' | dd of="$dir/PortTalk.sys" bs=1 seek="$code" conv=notrunc 2>/dev/null
out=$(ctl install)
[ $? -eq 5 ] || fail "a tampered driver was not refused with exit 5:
$out"
for hash in "$(digest "$dir/PortTalk.sys")" "$(digest "$dir/signed.sys")"; do
    echo "$out" | grep -q "image digest $hash, this release's [0-9a-f]*\|release's $hash" ||
        fail "the refusal does not name the image digest $hash:
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

cp "$dir/signed.sys" "$dir/PortTalk.sys"
out=$(ctl install) || fail "the signed driver was not installed:
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

# The kernel's own spelling of the same file, read by the service manager
# of a new session.
"$wine" reg add "$key" /v ImagePath /t REG_EXPAND_SZ /d '\SystemRoot\System32\drivers\PortTalk.sys' \
    /f >/dev/null || fail "cannot rewrite ImagePath"
new_session
out=$(ctl status)
echo "$out" | grep -q '^image: \\SystemRoot\\' &&
    echo "$out" | grep -qi '^file: C:\\windows\\System32\\drivers\\PortTalk.sys matches this release' ||
    fail "status checks another file than ImagePath names:
$out"

out=$(ctl remove) || fail "remove failed:
$out"
new_session
nothing_installed || fail "remove left the service or the file"
out=$(ctl remove)
[ $? -eq 2 ] && echo "$out" | grep -q "is not installed" ||
    fail "a remove with nothing installed does not say so with exit 2:
$out"
echo "driver install: tampered signed file refused, signed driver repaired a failed first use," \
    "device opened, removed"
