/* Whether an I/O base read from the SMBus host controller's base address
 * register (bus 0, device 31, function 3, offset 0x20, without its I/O
 * space flag) can be the controller's register window. The driver opens
 * the window only at such a base, and the library's SMBus tool treats any
 * other as no controller at all, before it writes anything.
 *
 * An Intel ICH/PCH SMBus controller (the i801 of Linux's i2c-i801 driver)
 * decodes 32 bytes of I/O space, so its base is 32-byte aligned and the
 * window ends at 0xFFFF at the latest. The first KiB of I/O space is the
 * legacy ISA range (DMA, interrupt controllers, timer, keyboard controller,
 * IDE at 0x1F0, floppy, serial and parallel ports): firmware allocates PCI
 * I/O windows above it (QEMU's q35 firmware puts the ICH9 SMBus controller
 * at 0x0700). A base below
 * 0x400 comes from a device that is not an SMBus controller or from a
 * garbled read, and writing there would reach a legacy device.
 *
 * Plain C with no system header, shared by the driver's hosts and the
 * library.
 */
#pragma once

#define SMBUS_WINDOW_SIZE 0x20ul
#define SMBUS_LOWEST_BASE 0x400ul
#define SMBUS_HIGHEST_BASE (0x10000ul - SMBUS_WINDOW_SIZE)

static inline int SmbusBasePlausible(unsigned long base)
{
    return base >= SMBUS_LOWEST_BASE && base <= SMBUS_HIGHEST_BASE && base % SMBUS_WINDOW_SIZE == 0;
}
