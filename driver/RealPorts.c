/* The real x86 I/O ports behind the PortTalk device, for PortTalk.sys.
 *
 * Each access is one IN or OUT instruction of the request's width. The
 * device is opened only by SYSTEM and the Administrators group: the driver
 * replaces the device's default security, which lets every user in, with a
 * DACL naming those two.
 */
/* ntifs.h first: it brings ntddk.h with the object and security calls. */
#include <ntifs.h>

#include "driver/DeviceSecurity.h"
#include "driver/PortAccess.h"

#include <intrin.h>

static UCHAR Read8(void* context, USHORT port)
{
    (void)context;
    return __inbyte(port);
}

static USHORT Read16(void* context, USHORT port)
{
    (void)context;
    return __inword(port);
}

static ULONG Read32(void* context, USHORT port)
{
    (void)context;
    return __indword(port);
}

static void Write8(void* context, USHORT port, UCHAR value)
{
    (void)context;
    __outbyte(port, value);
}

static void Write16(void* context, USHORT port, USHORT value)
{
    (void)context;
    __outword(port, value);
}

static void Write32(void* context, USHORT port, ULONG value)
{
    (void)context;
    __outdword(port, value);
}

/* The HAL performs the mechanism-1 cycle under the lock it shares with the
 * rest of the system, so the driver never writes 0xCF8 itself. */
static ULONG PciConfigRead32(void* context, ULONG address)
{
    PCI_SLOT_NUMBER slot;
    ULONG value = 0xFFFFFFFFul;
    (void)context;
    slot.u.AsULONG = 0;
    slot.u.bits.DeviceNumber = (address >> 11) & 0x1F;
    slot.u.bits.FunctionNumber = (address >> 8) & 0x7;
    if (HalGetBusDataByOffset(PCIConfiguration, (address >> 16) & 0xFF, slot.u.AsULONG, &value,
            address & 0xFC, sizeof value)
        != sizeof value)
        return 0xFFFFFFFFul;
    return value;
}

const PortTalkPorts g_hostPorts
    = {NULL, Read8, Read16, Read32, Write8, Write16, Write32, PciConfigRead32};

static UCHAR g_aclBuffer[ADMIN_ONLY_ACL_SIZE];

/* Applies the DACL through a kernel handle to the device object. */
static NTSTATUS RestrictToAdministrators(PDEVICE_OBJECT device)
{
    SECURITY_DESCRIPTOR descriptor;
    HANDLE handle;
    NTSTATUS status = BuildAdminOnlyDescriptor(&descriptor, (PACL)g_aclBuffer);
    if (!NT_SUCCESS(status))
        return status;
    status = ObOpenObjectByPointer(
        device, OBJ_KERNEL_HANDLE, NULL, WRITE_DAC, NULL, KernelMode, &handle);
    if (!NT_SUCCESS(status))
        return status;
    status = ZwSetSecurityObject(handle, DACL_SECURITY_INFORMATION, &descriptor);
    ZwClose(handle);
    return status;
}

/* When the DACL cannot be applied the driver does not start, rather than
 * serve every user of the machine. */
NTSTATUS PortAccessStart(PDRIVER_OBJECT driver)
{
    PDEVICE_OBJECT device;
    for (device = driver->DeviceObject; device; device = device->NextDevice) {
        NTSTATUS status = RestrictToAdministrators(device);
        if (!NT_SUCCESS(status))
            return status;
    }
    return STATUS_SUCCESS;
}

void PortAccessStop(PDRIVER_OBJECT driver) { (void)driver; }
void PortAccessDeviceOpened(void) { }
void PortAccessDeviceClosed(void) { }

/* The real build creates no device of its own. */
NTSTATUS PortAccessOwnDeviceRequest(PDEVICE_OBJECT device, PIRP irp)
{
    (void)device;
    irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_INVALID_DEVICE_REQUEST;
}
