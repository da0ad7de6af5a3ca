/* The PortTalk device: "\Device\PortTalk", reachable from user mode as
 * "\\.\PortTalk". Every request is one port access; the shared request
 * core decides and performs it, and this file turns the core's outcome
 * into the NTSTATUS a Windows client sees: an unknown control code
 * STATUS_INVALID_DEVICE_REQUEST, a request whose sizes differ from its
 * layout STATUS_INVALID_PARAMETER, an access the allow-list does not admit
 * STATUS_ACCESS_DENIED. A handle's state (its selected PCI configuration
 * address) lives in its file object.
 */
#include "driver/PortAccess.h"
#include "driver/PortTalkCore.h"

static PDEVICE_OBJECT g_portTalkDevice;
static PortPlatform g_platform;
static UNICODE_STRING g_deviceName = RTL_CONSTANT_STRING(L"\\Device\\PortTalk");
static UNICODE_STRING g_linkName = RTL_CONSTANT_STRING(L"\\DosDevices\\PortTalk");

/* The handle's state is small enough to live in the file object's
 * FsContext itself, so an open allocates nothing and a close frees
 * nothing. */
typedef char HandleFitsFsContext[sizeof(PortTalkHandle) <= sizeof(PVOID) ? 1 : -1];

static PortTalkHandle LoadHandle(PFILE_OBJECT file)
{
    PortTalkHandle handle;
    RtlCopyMemory(&handle, &file->FsContext, sizeof handle);
    return handle;
}

static void StoreHandle(PFILE_OBJECT file, const PortTalkHandle* handle)
{
    RtlCopyMemory(&file->FsContext, handle, sizeof *handle);
}

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR answered)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = answered;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS StatusOf(PortTalkOutcome outcome)
{
    switch (outcome) {
    case PORTTALK_DONE:
        return STATUS_SUCCESS;
    case PORTTALK_UNKNOWN_REQUEST:
        return STATUS_INVALID_DEVICE_REQUEST;
    case PORTTALK_MALFORMED:
        return STATUS_INVALID_PARAMETER;
    default:
        return STATUS_ACCESS_DENIED;
    }
}

static NTSTATUS DispatchControl(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    PortTalkHandle handle;
    PortTalkOutcome outcome;
    unsigned long answered;
    if (device != g_portTalkDevice)
        return PortAccessOwnDeviceRequest(device, irp);
    handle = LoadHandle(stack->FileObject);
    /* Buffered I/O: input and output share the system buffer. */
    outcome = PortTalkServe(&g_platform, &g_hostPorts, &handle,
        stack->Parameters.DeviceIoControl.IoControlCode, irp->AssociatedIrp.SystemBuffer,
        stack->Parameters.DeviceIoControl.InputBufferLength,
        stack->Parameters.DeviceIoControl.OutputBufferLength, &answered);
    StoreHandle(stack->FileObject, &handle);
    return Complete(irp, StatusOf(outcome), answered);
}

static NTSTATUS DispatchCreate(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    PortTalkHandle handle;
    if (device != g_portTalkDevice)
        return PortAccessOwnDeviceRequest(device, irp);
    /* The device has no names below it ("\\.\PortTalk\x"). */
    if (stack->FileObject->FileName.Length != 0)
        return Complete(irp, STATUS_OBJECT_NAME_NOT_FOUND, 0);
    PortTalkOpenHandle(&handle);
    StoreHandle(stack->FileObject, &handle);
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

/* The one symbol the driver exports: the loader needs no export, but an
 * explicit one keeps the linker from exporting every function. */
__declspec(dllexport) NTSTATUS NTAPI
    DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    NTSTATUS status;
    (void)registryPath;
    /* Before the device exists, so that no request sees the SMBus window
     * unknown; its registers do not move while the system runs. */
    PortTalkLearnPlatform(&g_platform, &g_hostPorts);
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
