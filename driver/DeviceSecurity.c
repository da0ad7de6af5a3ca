#include "driver/DeviceSecurity.h"

#if !defined(PORTTALK_KERNEL)
/* ntdll's exports, which the Windows SDK headers do not declare. */
NTSYSAPI NTSTATUS NTAPI RtlCreateSecurityDescriptor(
    PSECURITY_DESCRIPTOR descriptor, ULONG revision);
NTSYSAPI NTSTATUS NTAPI RtlCreateAcl(PACL acl, ULONG size, ULONG revision);
NTSYSAPI NTSTATUS NTAPI RtlAddAccessAllowedAce(
    PACL acl, ULONG revision, ACCESS_MASK mask, PSID sid);
NTSYSAPI NTSTATUS NTAPI RtlSetDaclSecurityDescriptor(
    PSECURITY_DESCRIPTOR descriptor, BOOLEAN present, PACL acl, BOOLEAN defaulted);
#endif

/* Built here rather than taken from SeExports so that the driver needs no
 * exported data. */
static SID g_systemSid = {SID_REVISION, 1, {SECURITY_NT_AUTHORITY}, {SECURITY_LOCAL_SYSTEM_RID}};
static struct {
    SID sid;
    ULONG alias;
} g_adminsSid = {{SID_REVISION, 2, {SECURITY_NT_AUTHORITY}, {SECURITY_BUILTIN_DOMAIN_RID}},
    DOMAIN_ALIAS_RID_ADMINS};

NTSTATUS BuildAdminOnlyDescriptor(SECURITY_DESCRIPTOR* descriptor, PACL acl)
{
    NTSTATUS status = RtlCreateSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION);
    if (NT_SUCCESS(status))
        status = RtlCreateAcl(acl, ADMIN_ONLY_ACL_SIZE, ACL_REVISION);
    if (NT_SUCCESS(status))
        status = RtlAddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, &g_systemSid);
    if (NT_SUCCESS(status))
        status = RtlAddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, &g_adminsSid.sid);
    if (NT_SUCCESS(status))
        status = RtlSetDaclSecurityDescriptor(descriptor, TRUE, acl, FALSE);
    return status;
}
