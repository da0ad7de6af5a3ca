/* The PortTalk device: "\Device\PortTalk", reachable from user mode as
 * "\\.\PortTalk". Every request is one port access; its control code names
 * the access and its buffer carries the port (and the value to write) in a
 * fixed little-endian layout. A request whose sizes differ from that layout
 * is refused with STATUS_INVALID_PARAMETER and touches no port; an access
 * that the allow-list does not admit is refused with STATUS_ACCESS_DENIED
 * and touches no port either. The PCI configuration ports are the one
 * exception to "one request, one access": see KeepConfigAddress.
 */
#include "driver/PortAccess.h"
#include "driver/PortAllowList.h"
#include "porttalk/PortTalkProtocol.h"

static PDEVICE_OBJECT g_portTalkDevice;
static PortPlatform g_platform;
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

static BOOLEAN Allowed(USHORT port, unsigned width, int direction, ULONG value)
{
    return PortAccessAllowed(port, width, direction, value, &g_platform) != 0;
}

/* PCI configuration mechanism 1 is emulated per handle: the address a
 * client writes to 0xCF8 is kept with its handle, never written to the
 * port, and its read of 0xCFC is answered through the platform's
 * serialised configuration access. Two clients, or the firmware, can then
 * not change each other's selected address between the two requests. */
static void KeepConfigAddress(PFILE_OBJECT file, ULONG address)
{
    file->FsContext = (PVOID)(ULONG_PTR)address;
}

static NTSTATUS ReadKeptConfig(PFILE_OBJECT file, UCHAR* buffer)
{
    ULONG address = (ULONG)(ULONG_PTR)file->FsContext;
    if (!PciAddressServed(address))
        return STATUS_ACCESS_DENIED;
    PutLe32(buffer, PciConfigRead32(address));
    return STATUS_SUCCESS;
}

static NTSTATUS Read32(PFILE_OBJECT file, USHORT port, UCHAR* buffer)
{
    if (port == PCI_DATA_PORT)
        return ReadKeptConfig(file, buffer);
    PutLe32(buffer, PortRead32(port));
    return STATUS_SUCCESS;
}

static void Write32(PFILE_OBJECT file, USHORT port, ULONG value)
{
    if (port == PCI_ADDRESS_PORT)
        KeepConfigAddress(file, value);
    else
        PortWrite32(port, value);
}

/* Performs one request in buffer once its sizes are checked; answers the
 * status and, through answered, how many bytes go back to the caller. */
static NTSTATUS PerformPortRequest(
    PFILE_OBJECT file, ULONG code, UCHAR* buffer, ULONG_PTR* answered)
{
    USHORT port = GetLe16(buffer);
    NTSTATUS status;
    switch (code) {
    case PORTTALK_READ_UCHAR:
        if (!Allowed(port, 8, PORT_ACCESS_READ, 0))
            return STATUS_ACCESS_DENIED;
        buffer[0] = PortRead8(port);
        *answered = 1;
        return STATUS_SUCCESS;
    case PORTTALK_WRITE_UCHAR:
        if (!Allowed(port, 8, PORT_ACCESS_WRITE, buffer[PORTTALK_VALUE_OFFSET]))
            return STATUS_ACCESS_DENIED;
        PortWrite8(port, buffer[PORTTALK_VALUE_OFFSET]);
        return STATUS_SUCCESS;
    case PORTTALK_READ_USHORT:
        if (!Allowed(port, 16, PORT_ACCESS_READ, 0))
            return STATUS_ACCESS_DENIED;
        PutLe16(buffer, PortRead16(port));
        *answered = 2;
        return STATUS_SUCCESS;
    case PORTTALK_WRITE_USHORT:
        if (!Allowed(port, 16, PORT_ACCESS_WRITE, GetLe16(buffer + PORTTALK_VALUE_OFFSET)))
            return STATUS_ACCESS_DENIED;
        PortWrite16(port, GetLe16(buffer + PORTTALK_VALUE_OFFSET));
        return STATUS_SUCCESS;
    case PORTTALK_READ_ULONG:
        if (!Allowed(port, 32, PORT_ACCESS_READ, 0))
            return STATUS_ACCESS_DENIED;
        status = Read32(file, port, buffer);
        if (NT_SUCCESS(status))
            *answered = 4;
        return status;
    default: /* PORTTALK_WRITE_ULONG */
        if (!Allowed(port, 32, PORT_ACCESS_WRITE, GetLe32(buffer + PORTTALK_VALUE_OFFSET_ULONG)))
            return STATUS_ACCESS_DENIED;
        Write32(file, port, GetLe32(buffer + PORTTALK_VALUE_OFFSET_ULONG));
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
        fits = inSize == PORTTALK_READ_UCHAR_IN && outSize == PORTTALK_READ_UCHAR_OUT;
        break;
    case PORTTALK_WRITE_UCHAR:
        fits = inSize == PORTTALK_WRITE_UCHAR_IN && outSize == 0;
        break;
    case PORTTALK_READ_USHORT:
        fits = inSize == PORTTALK_READ_USHORT_IN && outSize == PORTTALK_READ_USHORT_OUT;
        break;
    case PORTTALK_WRITE_USHORT:
        fits = inSize == PORTTALK_WRITE_USHORT_IN && outSize == 0;
        break;
    case PORTTALK_READ_ULONG:
        fits = inSize == PORTTALK_READ_ULONG_IN && outSize == PORTTALK_READ_ULONG_OUT
            && GetLe32(buffer) <= 0xFFFF;
        break;
    case PORTTALK_WRITE_ULONG:
        fits = inSize == PORTTALK_WRITE_ULONG_IN && outSize == 0 && GetLe32(buffer) <= 0xFFFF;
        break;
    default:
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    return fits ? STATUS_SUCCESS : STATUS_INVALID_PARAMETER;
}

static NTSTATUS ServePortRequest(
    PFILE_OBJECT file, ULONG code, UCHAR* buffer, ULONG inSize, ULONG outSize, ULONG_PTR* answered)
{
    NTSTATUS status = CheckRequestShape(code, buffer, inSize, outSize);
    *answered = 0;
    if (!NT_SUCCESS(status))
        return status;
    return PerformPortRequest(file, code, buffer, answered);
}

static NTSTATUS DispatchControl(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    ULONG_PTR answered;
    NTSTATUS status;
    if (device != g_portTalkDevice)
        return PortAccessOwnDeviceRequest(device, irp);
    /* Buffered I/O: input and output share the system buffer. */
    status = ServePortRequest(stack->FileObject, stack->Parameters.DeviceIoControl.IoControlCode,
        irp->AssociatedIrp.SystemBuffer, stack->Parameters.DeviceIoControl.InputBufferLength,
        stack->Parameters.DeviceIoControl.OutputBufferLength, &answered);
    return Complete(irp, status, answered);
}

static NTSTATUS DispatchCreate(PDEVICE_OBJECT device, PIRP irp)
{
    PFILE_OBJECT file = IoGetCurrentIrpStackLocation(irp)->FileObject;
    if (device != g_portTalkDevice)
        return PortAccessOwnDeviceRequest(device, irp);
    /* The device has no names below it ("\\.\PortTalk\x"). */
    if (file->FileName.Length != 0)
        return Complete(irp, STATUS_OBJECT_NAME_NOT_FOUND, 0);
    KeepConfigAddress(file, 0);
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

/* The SMBus controller's window, read once: its registers do not move
 * while the system runs. */
static void LearnPlatform(void)
{
    ULONG classRegister = PciConfigRead32(SMBUS_CLASS_ADDRESS);
    ULONG baseRegister = PciConfigRead32(SMBUS_BASE_ADDRESS);
    g_platform.smbusBase = (USHORT)SmbusBaseFromConfig(classRegister, baseRegister);
}

/* The one symbol the driver exports: the loader needs no export, but an
 * explicit one keeps the linker from exporting every function. */
__declspec(dllexport) NTSTATUS NTAPI
    DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    NTSTATUS status;
    (void)registryPath;
    /* Before the device exists, so that no request sees the window unknown. */
    LearnPlatform();
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
