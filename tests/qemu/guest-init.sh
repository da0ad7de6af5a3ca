#!/bin/busybox sh
# /init of the QEMU guest of porttalk-qemu.sh: one PASS or FAIL line per
# check, then power off. Uid 1000 is in group bypassctl, uid 1001 is not.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc none /proc
mount -t sysfs none /sys
mount -t devtmpfs none /dev
mount -t securityfs none /sys/kernel/security
check() {
    name=$1
    shift
    if "$@"; then echo "PASS $name"; else echo "FAIL $name"; fi
}
count() { grep -c "$1" "$2"; }
C=/porttalk-vm-check
tool() { $C tool >/tool.out 2>/tool.err; cat /tool.out /tool.err; }

# The second boot has a device at 0x37 (QEMU's i2c-ddc): the acknowledged path.
if grep -q porttalk.ack /proc/cmdline; then
    insmod /porttalk.ko && mdev -s && tool
    check "with a device at 0x37 no transaction failed" [ ! -s /tool.err ]
    check "with a device at 0x37 every write answers 0" grep -qx \
        'results: type 5003, EnableBypass 0, SetWDTTimeout_Bypass 0, DisableBypass 0, path device /dev/porttalk' \
        /tool.out
    poweroff -f
fi

$C spd >/spd.before
check "the module loads" insmod /porttalk.ko
mdev -s
check "/dev/porttalk is root:bypassctl 0660" \
    [ "$(stat -c '%U:%G %a' /dev/porttalk)" = "root:bypassctl 660" ]
$C as 1001 1001 open-refused
logged=$(dmesg | wc -l)
$C as 1000 1000 config
$C as 1000 1000 refusals

# The SMBus board's tool, as root: the library prefers the device to iopl.
tool
check "the tool found the SMBus controller at 0700" grep -qx 'probe_smbus_controller = 0700' /tool.out
check "every write to 0x37 ended in a device error (8 writes)" \
    [ "$(count '^SMBus Error = ' /tool.err)" = 8 -a "$(count . /tool.err)" = 8 ]
check "no access of the tool was refused" [ "$(count 'Error occured' /tool.out)" = 0 ]
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
$C as 1000 1000 config
check "the module unloads" rmmod porttalk
check "the node is gone" [ ! -e /dev/porttalk ]
check "the kernel logged no warning" sh -c '! dmesg | grep -E "BUG|WARNING|Oops|Call Trace"'
echo "checks done"
poweroff -f
