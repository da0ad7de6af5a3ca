/* What the PortTalk driver and its client in the library agree on: the
 * device control codes and the layout of each request. Plain C with no
 * system header, so that every host of the driver (the Windows and Linux
 * kernel drivers, the simulated driver, the virtual appliance) and every
 * client (the library, the tests) include the same definitions.
 *
 * Every request is buffered. It carries the port little-endian at offset 0
 * (two bytes; four in the 32-bit requests) and, for a write, the value
 * little-endian right after it (offset 2; offset 4 in the 32-bit requests).
 * A read answers the value little-endian at offset 0 of the same buffer.
 */
#pragma once

#define PORTTALK_READ_UCHAR 0x9C402410ul
#define PORTTALK_WRITE_UCHAR 0x9C402414ul
#define PORTTALK_READ_ULONG 0x9C402418ul
#define PORTTALK_WRITE_ULONG 0x9C40241Cul
#define PORTTALK_READ_USHORT 0x9C402424ul
#define PORTTALK_WRITE_USHORT 0x9C402428ul

/* Input and output sizes of each request, in bytes. A request of any other
 * size is malformed. */
#define PORTTALK_READ_UCHAR_IN 2
#define PORTTALK_READ_UCHAR_OUT 1
#define PORTTALK_WRITE_UCHAR_IN 3
#define PORTTALK_READ_USHORT_IN 8
#define PORTTALK_READ_USHORT_OUT 8
#define PORTTALK_WRITE_USHORT_IN 8
#define PORTTALK_READ_ULONG_IN 16
#define PORTTALK_READ_ULONG_OUT 16
#define PORTTALK_WRITE_ULONG_IN 16

/* Where a write's value sits in the request. */
#define PORTTALK_VALUE_OFFSET 2
#define PORTTALK_VALUE_OFFSET_ULONG 4

/* PCI configuration mechanism 1: a client selects a dword at the address
 * port and reads it at the data port. */
#define PCI_ADDRESS_PORT 0xCF8
#define PCI_DATA_PORT 0xCFC
