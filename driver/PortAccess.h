/* The port accesses behind the PortTalk device.
 *
 * PortTalkDispatch.c owns the device, the request parsing and the size
 * checks; it reaches the ports only through the functions below. A build
 * links it with exactly one implementation of them, so the same request
 * handling can serve real ports or a simulated port space.
 */
#pragma once

#include <ntddk.h>

/* Called once the PortTalk device exists; a failure unloads the driver. */
NTSTATUS PortAccessStart(PDRIVER_OBJECT driver);
/* Called on unload, before the PortTalk device is deleted. */
void PortAccessStop(PDRIVER_OBJECT driver);

/* A handle to the PortTalk device was opened or closed. */
void PortAccessDeviceOpened(void);
void PortAccessDeviceClosed(void);

/* A request for a device other than PortTalk, created by PortAccessStart.
 * The implementation completes the request. */
NTSTATUS PortAccessOwnDeviceRequest(PDEVICE_OBJECT device, PIRP irp);

/* One access of 8, 16 or 32 bits; ports are the x86 I/O space, 0 to 0xFFFF. */
UCHAR PortRead8(USHORT port);
USHORT PortRead16(USHORT port);
ULONG PortRead32(USHORT port);
void PortWrite8(USHORT port, UCHAR value);
void PortWrite16(USHORT port, USHORT value);
void PortWrite32(USHORT port, ULONG value);

/* The dword at a PCI configuration address in the form a client writes to
 * 0xCF8 (enable bit, bus, device, function, register), read through the
 * platform's own configuration access, which serialises it with every
 * other user's; all ones when no function answers. */
ULONG PciConfigRead32(ULONG address);
