#!/bin/sh
# porttalk-qemu.sh CHECKER SOURCE_DIR WORK_DIR BYPASSCTL: boots Debian's kernel
# in QEMU q35 (ICH9: i801 SMBus at 00:1f.3, SPD EEPROMs) with busybox,
# porttalk.ko, the checker and bypassctl with its libraries; fails on any FAIL
# line or a missing PASS. A second boot puts a device at 0x37 (QEMU's
# i2c-ddc). Exit 77 where QEMU or the kernel is missing.
set -eu
checker=$1 src=$2 work=$3 ctl=$4

skip() { echo "SKIP: $*"; exit 77; }
command -v qemu-system-x86_64 >/dev/null || skip "qemu-system-x86_64 not installed (qemu-system-x86)"
ver=$(dpkg-query -W -f '${Depends}' linux-image-amd64 2>/dev/null |
      sed -n 's/^linux-image-\([^ ,]*\).*/\1/p')
[ -n "$ver" ] || skip "linux-image-amd64 not installed"
[ -r "/boot/vmlinuz-$ver" ] || skip "/boot/vmlinuz-$ver missing or not readable"
[ -d "/lib/modules/$ver/build" ] || skip "no headers for $ver (linux-headers-amd64)"
busybox=/bin/busybox
file -L $busybox | grep -q 'statically linked' || skip "no static $busybox (busybox-static)"

root=$work/root
rm -rf "$work" && mkdir -p "$root/bin" "$root/etc" "$root/dev" "$root/proc" "$root/sys"
make -s -C "$src/driver/linux" KVER="$ver" OUT="$work/kmod" >"$work/kmod.log" 2>&1 ||
    { cat "$work/kmod.log"; exit 1; }

cp "$busybox" "$root/bin/busybox" && cp "$work/kmod/porttalk.ko" "$root/"
cp "$checker" "$root/porttalk-vm-check" && cp "$src/tests/qemu/guest-init.sh" "$root/init"
cp "$ctl" "$root/bypassctl"
for lib in $(ldd "$ctl" | grep -o '/[^ ]*'); do
    mkdir -p "$root${lib%/*}" && cp -L "$lib" "$root$lib"
done
printf 'root:x:0:\nbypassctl:x:1000:\nusers:x:1001:\n' >"$root/etc/group"
printf '%s\n' root:x:0:0::/:/bin/sh member:x:1000:1000::/:/bin/sh \
    outsider:x:1001:1001::/:/bin/sh >"$root/etc/passwd"
# mdev stands in for udev, as packaging/udev/60-porttalk.rules.
printf 'porttalk root:bypassctl 660\n' >"$root/etc/mdev.conf"
(cd "$root" && find . | cpio -o -H newc --quiet) | gzip -1 >"$work/initrd.gz"

accel=tcg
[ -w /dev/kvm ] && accel=kvm
boot() {
    timeout 120 qemu-system-x86_64 -M q35,accel=$accel -m 512 -smp 1 -nographic -no-reboot \
        -kernel "/boot/vmlinuz-$ver" -initrd "$work/initrd.gz" "$@" </dev/null |
        tr -d '\r' >>"$work/console.log" || true
}
boot -append "console=ttyS0 quiet panic=-1"
boot -device i2c-ddc,address=0x37 -append "console=ttyS0 quiet panic=-1 porttalk.ack"
cat "$work/console.log"

passes=$(grep -c '^PASS ' "$work/console.log" || true)
failures=$(grep -c '^FAIL ' "$work/console.log" || true)
expected=24
if [ "$failures" -ne 0 ] || [ "$passes" -ne $expected ]; then
    echo "porttalk in QEMU: $passes of $expected checks passed, $failures failed"
    exit 1
fi
echo "porttalk in QEMU: all $expected checks passed"
