/* The port accesses behind the PortTalk device on Windows.
 *
 * PortTalkDispatch.c owns the device and hands each request to the shared
 * request core; the core reaches the ports only through g_hostPorts. A
 * build links the dispatch with exactly one implementation of what is
 * below, so the same request handling can serve real ports or a simulated
 * port space.
 */
#pragma once

#include <ntddk.h>

#include "driver/PortTalkCore.h"

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

/* The ports the device serves: one access of 8, 16 or 32 bits on the x86
 * I/O space, and the PCI configuration dword read through the platform's
 * own configuration access. */
extern const PortTalkPorts g_hostPorts;
