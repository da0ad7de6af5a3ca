#!/bin/busybox sh
# porttalk-qemu.sh's /init: a PASS or FAIL line per check. member is in group bypassctl.
/bin/busybox --install -s /bin
export PATH=/bin
for fs in proc:/proc sysfs:/sys devtmpfs:/dev securityfs:/sys/kernel/security; do
    mount -t "${fs%%:*}" none "${fs#*:}"
done
echo # past the firmware's terminal codes on the console's line
check() { name=$1 && shift && if "$@"; then echo "PASS $name"; else echo "FAIL $name"; fi; }
count() { grep -c "$@"; }
C=/porttalk-vm-check
as_member() { su -s /bin/sh member -c "$C $1"; }
tool() { $C tool >/tool.out 2>/tool.err; cat /tool.out /tool.err; }
unrefused() { ! grep -q 'Error occured' /tool.out; }

# The second boot has a device at 0x37 (QEMU's i2c-ddc): the acknowledged path.
if grep -q porttalk.ack /proc/cmdline; then
    insmod /porttalk.ko && mdev -s && tool
    check "with a device at 0x37 no access was refused" unrefused
    check "with a device at 0x37 no transaction failed" [ ! -s /tool.err ]
    check "with a device at 0x37 every write answers 0" grep -qx 'results: type 5003, EnableBypass 0, SetWDTTimeout_Bypass 0, DisableBypass 0, path device /dev/porttalk' /tool.out
    # The keepalive service's way: a member of the group, no capabilities,
    # the lock directory as tmpfiles.d makes it; then root shares its lock.
    mkdir -p /run && mkdir -m 2770 /run/bypassctl && chgrp bypassctl /run/bypassctl
    su -s /bin/sh member -c 'exec /bypassctl --type 5003 keepalive --timeout 30 --interval 1' >/ka.out 2>&1 &
    sleep 4 && kill $! && wait $!
    cat /ka.out
    check "keepalive as a member of group bypassctl re-arms through the device and stops" \
        grep -q '^re-armed [1-9][0-9]* times; watchdog stopped' /ka.out
    check "root stops the watchdog under the member's board lock" sh -c \
        '/bypassctl --type 5003 wdt stop && [ "$(stat -c %G /run/bypassctl/bypassctl.lock)" = bypassctl ]'
    poweroff -f
fi

$C spd >/spd.before
check "the module loads" insmod /porttalk.ko
mdev -s
check "/dev/porttalk is root:bypassctl 0660" \
    [ "$(stat -c '%U:%G %a' /dev/porttalk)" = "root:bypassctl 660" ]
check "a user outside group bypassctl cannot open the device" sh -c \
    "su -s /bin/sh outsider -c ': </dev/porttalk' 2>&1 | grep -q 'Permission denied'"
logged=$(dmesg | wc -l)
as_member config
as_member refusals

# The SMBus board's tool, as root: the library prefers the device to iopl.
tool
check "the tool found the SMBus controller at 0700" grep -qx 'probe_smbus_controller = 0700' /tool.out
check "each of the 8 writes to 0x37 ended in a device error (status 04)" \
    [ "$(count -x 'SMBus Error = 4' /tool.err)" = 8 -a "$(count . /tool.err)" = 8 ]
check "no access of the tool was refused" unrefused
check "the tool's results (type 5003, failed writes answer -1) over the device" grep -qx \
    'results: type 5003, EnableBypass -1, SetWDTTimeout_Bypass -1, DisableBypass -1, path device /dev/porttalk' \
    /tool.out
check "the module logs nothing per request" [ "$(dmesg | wc -l)" = "$logged" ]
$C spd >/spd.after
cat /spd.after
same_spd() { [ "$(count '^spd 5' /spd.before)" = 8 ] && cmp -s /spd.before /spd.after; }
check "the SPD EEPROMs read the same before and after (8 addresses)" same_spd

echo integrity >/sys/kernel/security/lockdown
$C iopl-refused
as_member config
check "the module unloads, its node gone" sh -c 'rmmod porttalk && [ ! -e /dev/porttalk ]'
check "the kernel logged no warning" sh -c '! dmesg | grep -E "BUG|WARNING|Oops|Call Trace"'
echo "checks done"
poweroff -f
