// Windows: the calls that make the board lock's mutex, in a table of
// function pointers (see portio/CallTable.h), so that tests can refuse each
// of them.
#pragma once

#include "portio/CallTable.h"

#include <windows.h>

namespace bypassctl {

struct LockApi {
    HANDLE(WINAPI* CreateBoundaryDescriptorW)(LPCWSTR, ULONG);
    BOOL(WINAPI* AddSIDToBoundaryDescriptor)(HANDLE*, PSID);
    HANDLE(WINAPI* CreatePrivateNamespaceW)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
    HANDLE(WINAPI* OpenPrivateNamespaceW)(LPVOID, LPCWSTR);
    HANDLE(WINAPI* CreateMutexW)(LPSECURITY_ATTRIBUTES, BOOL, LPCWSTR);
    VOID(WINAPI* DeleteBoundaryDescriptor)(HANDLE);
    BOOLEAN(WINAPI* ClosePrivateNamespace)(HANDLE, ULONG);
};

} // namespace bypassctl

template <> bypass::CallTable<bypassctl::LockApi>& bypass::CallTableOf<bypassctl::LockApi>();
