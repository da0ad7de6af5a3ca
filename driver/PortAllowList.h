/* The ports the PortTalk device serves, and at which widths.
 *
 * The device answers only the accesses the catalogue's boards make; any
 * other port, width or direction is refused before it reaches the bus. The
 * check is plain C with no kernel header, so the same code decides in the
 * driver and in the host's unit tests.
 */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#define PORT_ACCESS_READ 1
#define PORT_ACCESS_WRITE 2

/* Answers the I/O base of the SMBus host controller, or 0 when there is
 * none. Asked only for an access that no fixed row admits. */
typedef unsigned short (*SmbusBaseReader)(void* context);

/* Nonzero when an access of width bits (8, 16 or 32) in direction
 * (PORT_ACCESS_READ or PORT_ACCESS_WRITE) to port is served. value is what
 * a write would store; it matters only for the PCI configuration address. */
int PortAccessAllowed(unsigned short port, unsigned width, int direction, unsigned long value,
    SmbusBaseReader smbusBase, void* context);

/* Nonzero when the class code register (offset 0x08) names an SMBus
 * controller (class 0x0C05: serial bus controller, SMBus). */
int IsSmbusClass(unsigned long classRegister);

/* The controller's base from what its two PCI configuration registers read:
 * the class code register (offset 0x08) and the base address register
 * (offset 0x20). 0 unless the class is SMBus and the register maps I/O. */
unsigned short SmbusBaseFromConfig(unsigned long classRegister, unsigned long baseRegister);

/* The PCI configuration addresses of the SMBus host controller (bus 0,
 * device 31, function 3) that the library and the driver select at 0xCF8. */
#define PCI_ADDRESS_PORT 0xCF8
#define PCI_DATA_PORT 0xCFC
#define SMBUS_CLASS_ADDRESS 0x8000FB08ul
#define SMBUS_BASE_ADDRESS 0x8000FB20ul

#ifdef __cplusplus
}
#endif
