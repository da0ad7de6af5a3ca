/* The accesses the PortTalk device serves: port, width and direction.
 *
 * The device answers only the accesses the catalogue's boards make; any
 * other port, width or direction is refused before it reaches the bus. The
 * check is plain C with no kernel header, so the same code decides in the
 * driver and in the host's unit tests.
 */
#pragma once

#include "porttalk/PortTalkProtocol.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The two configuration registers of the SMBus host controller (bus 0,
 * device 31, function 3) that the device reads for a client: the class
 * code (offset 0x08) and the I/O base address (offset 0x20). */
#define SMBUS_CLASS_ADDRESS 0x8000FB08ul
#define SMBUS_BASE_ADDRESS 0x8000FB20ul

#define PORT_ACCESS_READ 1
#define PORT_ACCESS_WRITE 2

/* What the driver learned of the machine once, when it started. */
typedef struct PortPlatform {
    /* The I/O base of the SMBus host controller at 0/31/3, 0 when none. */
    unsigned short smbusBase;
} PortPlatform;

/* Nonzero when an access of width bits (8, 16 or 32) in direction
 * (PORT_ACCESS_READ or PORT_ACCESS_WRITE) to port is served on platform.
 * value is what a write would store; it matters for the PCI configuration
 * address, where only the addresses of PciAddressServed are taken, and for
 * the SMBus host controller's control, command and slave address
 * registers, which take only the values of the bypass controller's
 * byte-data write. */
int PortAccessAllowed(unsigned short port, unsigned width, int direction, unsigned long value,
    const PortPlatform* platform);

/* Nonzero for the configuration addresses (0xCF8 values) whose dword the
 * device reads for a client: the SMBus controller's class and base. */
int PciAddressServed(unsigned long address);

/* The controller's base from its two configuration registers: the class
 * code register (offset 0x08) and the base address register (offset
 * 0x20). 0 unless the class is SMBus and the register maps an I/O window
 * at a plausible base (SmbusBasePlausible). */
unsigned short SmbusBaseFromConfig(unsigned long classRegister, unsigned long baseRegister);

#ifdef __cplusplus
}
#endif
