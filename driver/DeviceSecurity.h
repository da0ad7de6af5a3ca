/* The security of the PortTalk device: SYSTEM (S-1-5-18) and the
 * Administrators group (S-1-5-32-544) with full access, nobody else.
 *
 * Built with the runtime library's security calls, which the kernel and
 * ntdll both provide, so that a user-mode test builds the very descriptor
 * the driver applies and compares it with the one it means.
 */
#pragma once

#if defined(PORTTALK_KERNEL)
#include <ntifs.h>
#else
#include <windows.h>
#include <winternl.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Room for the ACL's header and its two entries. */
#define ADMIN_ONLY_ACL_SIZE 128

/* Fills descriptor with a DACL of the two entries, kept in acl (of
 * ADMIN_ONLY_ACL_SIZE bytes, living as long as the descriptor). */
NTSTATUS BuildAdminOnlyDescriptor(SECURITY_DESCRIPTOR* descriptor, PACL acl);

#ifdef __cplusplus
}
#endif
