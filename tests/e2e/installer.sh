#!/bin/sh
# The Windows installer under Wine, on a prefix of its own: msiexec installs it with the keepalive
# service (on a simulated board); the files, the PATH entry, the driver and both services are
# there; msiexec /x leaves none of them. Usage: installer.sh WINE-WRAPPER WINESERVER MSI PREFIX
set -u
wine="$1" wineserver="$2" msi="Z:$(echo "$3" | tr / '\\')" prefix="$4"
export WINEPREFIX="$prefix"
trap '"$wineserver" -k 2>/dev/null' EXIT
installed="$prefix/drive_c/Program Files/BypassTool"
driver="$prefix/drive_c/windows/system32/drivers/PortTalk.sys"
fail() {
    printf 'FAIL: %s\n' "$*"
    exit 1
}
key() { k="$1" && shift && "$wine" reg query "HKLM\\$k" "$@" 2>/dev/null; }
path() { key 'System\CurrentControlSet\Control\Session Manager\Environment' /v PATH; }
service() { key "System\\CurrentControlSet\\Services\\$1" /v ImagePath; }

sh "$(dirname "$0")/fresh-prefix.sh" "$wine" "$wineserver" "$prefix" >/dev/null 2>&1 ||
    fail "cannot create $prefix"
# The driver's start takes winedevice more than the 10 s Wine allows a service on a loaded
# machine; the limit is read when the session starts.
"$wine" reg add 'HKLM\System\CurrentControlSet\Control' /v ServicesPipeTimeout /t REG_SZ \
    /d 120000 /f >/dev/null || fail "cannot set the service start timeout"
"$wineserver" -k -w 2>/dev/null
out=$("$wine" msiexec /i "$msi" /qn "KEEPALIVE_OPTIONS=--simulate 6 --timeout 30" 2>&1) ||
    fail "install failed: $out"
for file in bin/bypassctl.exe bin/BypassTool.dll bin/PortTalk.sys lib/BypassTool.dll.a \
    include/bypasstool/framework/BypassToolC.h README.txt; do
    [ -f "$installed/$file" ] || fail "$file is not installed: $out"
done
path | grep -qF 'C:\Program Files\BypassTool\bin' || fail "bin is not on the PATH: $(path)"
[ -f "$driver" ] && service PortTalk >/dev/null || fail "the driver is not installed: $out"
program='"C:\Program Files\BypassTool\bin\bypassctl.exe"'
service bypassctl-keepalive | grep -qF "$program service run --simulate 6 --timeout 30" ||
    fail "the keepalive service is not installed: $out"

out=$("$wine" msiexec /x "$msi" /qn 2>&1) || fail "uninstall failed: $out"
[ ! -e "$installed" ] || fail "left installed: $(find "$installed")"
[ ! -e "$driver" ] && ! service PortTalk >/dev/null || fail "the driver is left: $out"
! service bypassctl-keepalive >/dev/null || fail "the keepalive service is left: $out"
! key 'System\CurrentControlSet\Services\EventLog\Application\bypassctl-keepalive' >/dev/null ||
    fail "the event source is left"
! path | grep -qF BypassTool || fail "bin is left on the PATH: $(path)"
! key 'Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | grep -qF BypassTool ||
    fail "the installation is still registered"
echo "installer: files, PATH, driver and keepalive service installed, all removed"
