/* The PortTalk device: "\Device\PortTalk", reachable from user mode as
 * "\\.\PortTalk". Every request is one port access; its control code names
 * the access and its buffer carries the port (and the value to write) in a
 * fixed little-endian layout. A request whose sizes differ from that layout
 * is refused with STATUS_INVALID_PARAMETER and touches no port; an access
 * that the allow-list does not admit is refused with STATUS_ACCESS_DENIED
 * and touches no port either.
 */
#include "driver/PortAccess.h"
#include "driver/PortAllowList.h"

#define PORTTALK_READ_UCHAR 0x9C402410
#define PORTTALK_WRITE_UCHAR 0x9C402414
#define PORTTALK_READ_ULONG 0x9C402418
#define PORTTALK_WRITE_ULONG 0x9C40241C
#define PORTTALK_READ_USHORT 0x9C402424
#define PORTTALK_WRITE_USHORT 0x9C402428

static PDEVICE_OBJECT g_portTalkDevice;
/* Held from the allow-list check to the end of the access, so that the
 * driver's own use of the PCI configuration ports cannot interleave with
 * another request's. */
static KSPIN_LOCK g_accessLock;
static UNICODE_STRING g_deviceName = RTL_CONSTANT_STRING(L"\\Device\\PortTalk");
static UNICODE_STRING g_linkName = RTL_CONSTANT_STRING(L"\\DosDevices\\PortTalk");

static USHORT GetLe16(const UCHAR* at) { return (USHORT)(at[0] | (at[1] << 8)); }

static ULONG GetLe32(const UCHAR* at) { return GetLe16(at) | ((ULONG)GetLe16(at + 2) << 16); }

static void PutLe16(UCHAR* at, USHORT value)
{
    at[0] = (UCHAR)value;
    at[1] = (UCHAR)(value >> 8);
}

static void PutLe32(UCHAR* at, ULONG value)
{
    PutLe16(at, (USHORT)value);
    PutLe16(at + 2, (USHORT)(value >> 16));
}

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR answered)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = answered;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

/* Reads the SMBus controller's base address register for the allow-list.
 * The caller may have selected a configuration address at 0xCF8 for a read
 * of 0xCFC still to come; it is put back afterwards, so the driver's read
 * never shows in the caller's sequence. Nothing is kept: the base is read
 * anew for each access that needs it. */
static unsigned short ReadSmbusBase(void* context)
{
    ULONG selected = PortRead32(PCI_ADDRESS_PORT);
    ULONG classRegister;
    ULONG baseRegister = 0;
    (void)context;
    PortWrite32(PCI_ADDRESS_PORT, SMBUS_CLASS_ADDRESS);
    classRegister = PortRead32(PCI_DATA_PORT);
    if (IsSmbusClass(classRegister)) {
        PortWrite32(PCI_ADDRESS_PORT, SMBUS_BASE_ADDRESS);
        baseRegister = PortRead32(PCI_DATA_PORT);
    }
    PortWrite32(PCI_ADDRESS_PORT, selected);
    return SmbusBaseFromConfig(classRegister, baseRegister);
}

static BOOLEAN Allowed(USHORT port, unsigned width, int direction, ULONG value)
{
    return PortAccessAllowed(port, width, direction, value, ReadSmbusBase, NULL) != 0;
}

/* Performs one request in buffer once its sizes are checked; answers the
 * status and, through answered, how many bytes go back to the caller. */
static NTSTATUS PerformPortRequest(ULONG code, UCHAR* buffer, ULONG_PTR* answered)
{
    USHORT port = GetLe16(buffer);
    switch (code) {
    case PORTTALK_READ_UCHAR:
        if (!Allowed(port, 8, PORT_ACCESS_READ, 0))
            return STATUS_ACCESS_DENIED;
        buffer[0] = PortRead8(port);
        *answered = 1;
        return STATUS_SUCCESS;
    case PORTTALK_WRITE_UCHAR:
        if (!Allowed(port, 8, PORT_ACCESS_WRITE, buffer[2]))
            return STATUS_ACCESS_DENIED;
        PortWrite8(port, buffer[2]);
        return STATUS_SUCCESS;
    case PORTTALK_READ_USHORT:
        if (!Allowed(port, 16, PORT_ACCESS_READ, 0))
            return STATUS_ACCESS_DENIED;
        PutLe16(buffer, PortRead16(port));
        *answered = 2;
        return STATUS_SUCCESS;
    case PORTTALK_WRITE_USHORT:
        if (!Allowed(port, 16, PORT_ACCESS_WRITE, GetLe16(buffer + 2)))
            return STATUS_ACCESS_DENIED;
        PortWrite16(port, GetLe16(buffer + 2));
        return STATUS_SUCCESS;
    case PORTTALK_READ_ULONG:
        if (!Allowed(port, 32, PORT_ACCESS_READ, 0))
            return STATUS_ACCESS_DENIED;
        PutLe32(buffer, PortRead32(port));
        *answered = 4;
        return STATUS_SUCCESS;
    default: /* PORTTALK_WRITE_ULONG */
        if (!Allowed(port, 32, PORT_ACCESS_WRITE, GetLe32(buffer + 4)))
            return STATUS_ACCESS_DENIED;
        PortWrite32(port, GetLe32(buffer + 4));
        return STATUS_SUCCESS;
    }
}

/* The exact sizes of each request; anything else is malformed. The 32-bit
 * requests carry the port in four bytes, but the I/O space ends at 0xFFFF:
 * a port above it is malformed too. */
static NTSTATUS CheckRequestShape(ULONG code, const UCHAR* buffer, ULONG inSize, ULONG outSize)
{
    BOOLEAN fits;
    switch (code) {
    case PORTTALK_READ_UCHAR:
        fits = inSize == 2 && outSize == 1;
        break;
    case PORTTALK_WRITE_UCHAR:
        fits = inSize == 3 && outSize == 0;
        break;
    case PORTTALK_READ_USHORT:
        fits = inSize == 8 && outSize == 8;
        break;
    case PORTTALK_WRITE_USHORT:
        fits = inSize == 8 && outSize == 0;
        break;
    case PORTTALK_READ_ULONG:
        fits = inSize == 16 && outSize == 16 && GetLe32(buffer) <= 0xFFFF;
        break;
    case PORTTALK_WRITE_ULONG:
        fits = inSize == 16 && outSize == 0 && GetLe32(buffer) <= 0xFFFF;
        break;
    default:
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    return fits ? STATUS_SUCCESS : STATUS_INVALID_PARAMETER;
}

static NTSTATUS ServePortRequest(
    ULONG code, UCHAR* buffer, ULONG inSize, ULONG outSize, ULONG_PTR* answered)
{
    KIRQL previous;
    NTSTATUS status = CheckRequestShape(code, buffer, inSize, outSize);
    *answered = 0;
    if (!NT_SUCCESS(status))
        return status;
    KeAcquireSpinLock(&g_accessLock, &previous);
    status = PerformPortRequest(code, buffer, answered);
    KeReleaseSpinLock(&g_accessLock, previous);
    return status;
}

static NTSTATUS DispatchControl(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    ULONG_PTR answered;
    NTSTATUS status;
    if (device != g_portTalkDevice)
        return PortAccessOwnDeviceRequest(device, irp);
    /* Buffered I/O: input and output share the system buffer. */
    status = ServePortRequest(stack->Parameters.DeviceIoControl.IoControlCode,
        irp->AssociatedIrp.SystemBuffer, stack->Parameters.DeviceIoControl.InputBufferLength,
        stack->Parameters.DeviceIoControl.OutputBufferLength, &answered);
    return Complete(irp, status, answered);
}

static NTSTATUS DispatchCreate(PDEVICE_OBJECT device, PIRP irp)
{
    if (device != g_portTalkDevice)
        return PortAccessOwnDeviceRequest(device, irp);
    PortAccessDeviceOpened();
    return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS DispatchClose(PDEVICE_OBJECT device, PIRP irp)
{
    if (device != g_portTalkDevice)
        return PortAccessOwnDeviceRequest(device, irp);
    PortAccessDeviceClosed();
    return Complete(irp, STATUS_SUCCESS, 0);
}

static void RemovePortTalkDevice(void)
{
    IoDeleteSymbolicLink(&g_linkName);
    IoDeleteDevice(g_portTalkDevice);
    g_portTalkDevice = NULL;
}

static void DriverUnload(PDRIVER_OBJECT driver)
{
    PortAccessStop(driver);
    RemovePortTalkDevice();
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    NTSTATUS status;
    (void)registryPath;
    KeInitializeSpinLock(&g_accessLock);
    /* Secure open: an open of a name below the device ("\\.\PortTalk\x")
     * is checked against the device's security too, not let through. */
    status = IoCreateDevice(driver, 0, &g_deviceName, FILE_DEVICE_UNKNOWN, FILE_DEVICE_SECURE_OPEN,
        FALSE, &g_portTalkDevice);
    if (!NT_SUCCESS(status))
        return status;
    status = IoCreateSymbolicLink(&g_linkName, &g_deviceName);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(g_portTalkDevice);
        return status;
    }
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
    driver->DriverUnload = DriverUnload;
    status = PortAccessStart(driver);
    if (!NT_SUCCESS(status))
        RemovePortTalkDevice();
    return status;
}
