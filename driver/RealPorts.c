/* The real x86 I/O ports behind the PortTalk device, for PortTalk.sys.
 *
 * Each access is one IN or OUT instruction of the request's width. The
 * device is opened only by SYSTEM and the Administrators group: the driver
 * replaces the device's default security, which lets every user in, with a
 * DACL naming those two.
 */
/* ntifs.h first: it brings ntddk.h with the object and security calls. */
#include <ntifs.h>

#include "driver/PortAccess.h"

#include <intrin.h>

UCHAR PortRead8(USHORT port) { return __inbyte(port); }
USHORT PortRead16(USHORT port) { return __inword(port); }
ULONG PortRead32(USHORT port) { return __indword(port); }
void PortWrite8(USHORT port, UCHAR value) { __outbyte(port, value); }
void PortWrite16(USHORT port, USHORT value) { __outword(port, value); }
void PortWrite32(USHORT port, ULONG value) { __outdword(port, value); }

/* SYSTEM (S-1-5-18) and Administrators (S-1-5-32-544), built here rather
 * than taken from SeExports so that the driver needs no exported data. */
static SID g_systemSid = {SID_REVISION, 1, {SECURITY_NT_AUTHORITY}, {SECURITY_LOCAL_SYSTEM_RID}};
static struct {
    SID sid;
    ULONG alias;
} g_adminsSid = {{SID_REVISION, 2, {SECURITY_NT_AUTHORITY}, {SECURITY_BUILTIN_DOMAIN_RID}},
    DOMAIN_ALIAS_RID_ADMINS};

#define ACL_SIZE 128

static UCHAR g_aclBuffer[ACL_SIZE];

static NTSTATUS BuildAdminOnlyDescriptor(SECURITY_DESCRIPTOR* descriptor)
{
    PACL acl = (PACL)g_aclBuffer;
    NTSTATUS status = RtlCreateSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION);
    if (NT_SUCCESS(status))
        status = RtlCreateAcl(acl, sizeof g_aclBuffer, ACL_REVISION);
    if (NT_SUCCESS(status))
        status = RtlAddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, &g_systemSid);
    if (NT_SUCCESS(status))
        status = RtlAddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, &g_adminsSid.sid);
    if (NT_SUCCESS(status))
        status = RtlSetDaclSecurityDescriptor(descriptor, TRUE, acl, FALSE);
    return status;
}

/* Applies the DACL through a kernel handle to the device object. */
static NTSTATUS RestrictToAdministrators(PDEVICE_OBJECT device)
{
    SECURITY_DESCRIPTOR descriptor;
    HANDLE handle;
    NTSTATUS status = BuildAdminOnlyDescriptor(&descriptor);
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
