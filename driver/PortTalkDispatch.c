/* The PortTalk device: "\Device\PortTalk", reachable from user mode as
 * "\\.\PortTalk". Every request is one port access; its control code names
 * the access and its buffer carries the port (and the value to write) in a
 * fixed little-endian layout. A request whose sizes differ from that layout
 * is refused with STATUS_INVALID_PARAMETER and touches no port.
 */
#include "driver/PortAccess.h"

#define PORTTALK_READ_UCHAR 0x9C402410
#define PORTTALK_WRITE_UCHAR 0x9C402414
#define PORTTALK_READ_ULONG 0x9C402418
#define PORTTALK_WRITE_ULONG 0x9C40241C
#define PORTTALK_READ_USHORT 0x9C402424
#define PORTTALK_WRITE_USHORT 0x9C402428

static PDEVICE_OBJECT g_portTalkDevice;
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

/* The 32-bit requests carry the port in four bytes, but the I/O space ends
 * at 0xFFFF: anything above is a malformed request, not a port. */
static BOOLEAN TakeLongPort(const UCHAR* buffer, USHORT* port)
{
    ULONG wide = GetLe32(buffer);
    *port = (USHORT)wide;
    return wide <= 0xFFFF;
}

/* Performs one request in buffer; answers the status and, through answered,
 * how many bytes of the buffer go back to the caller. */
static NTSTATUS ServePortRequest(
    ULONG code, UCHAR* buffer, ULONG inSize, ULONG outSize, ULONG_PTR* answered)
{
    USHORT port;
    *answered = 0;
    switch (code) {
    case PORTTALK_READ_UCHAR:
        if (inSize != 2 || outSize != 1)
            return STATUS_INVALID_PARAMETER;
        buffer[0] = PortRead8(GetLe16(buffer));
        *answered = 1;
        return STATUS_SUCCESS;
    case PORTTALK_WRITE_UCHAR:
        if (inSize != 3 || outSize != 0)
            return STATUS_INVALID_PARAMETER;
        PortWrite8(GetLe16(buffer), buffer[2]);
        return STATUS_SUCCESS;
    case PORTTALK_READ_USHORT:
        if (inSize != 8 || outSize != 8)
            return STATUS_INVALID_PARAMETER;
        PutLe16(buffer, PortRead16(GetLe16(buffer)));
        *answered = 2;
        return STATUS_SUCCESS;
    case PORTTALK_WRITE_USHORT:
        if (inSize != 8 || outSize != 0)
            return STATUS_INVALID_PARAMETER;
        PortWrite16(GetLe16(buffer), GetLe16(buffer + 2));
        return STATUS_SUCCESS;
    case PORTTALK_READ_ULONG:
        if (inSize != 16 || outSize != 16 || !TakeLongPort(buffer, &port))
            return STATUS_INVALID_PARAMETER;
        PutLe32(buffer, PortRead32(port));
        *answered = 4;
        return STATUS_SUCCESS;
    case PORTTALK_WRITE_ULONG:
        if (inSize != 16 || outSize != 0 || !TakeLongPort(buffer, &port))
            return STATUS_INVALID_PARAMETER;
        PortWrite32(port, GetLe32(buffer + 4));
        return STATUS_SUCCESS;
    default:
        return STATUS_INVALID_DEVICE_REQUEST;
    }
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
    status = IoCreateDevice(
        driver, 0, &g_deviceName, FILE_DEVICE_UNKNOWN, 0, FALSE, &g_portTalkDevice);
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
