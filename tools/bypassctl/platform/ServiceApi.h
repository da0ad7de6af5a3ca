// Windows: the service manager's and the event log's calls, gathered in one
// table of function pointers (see portio/CallTable.h), so that tests can
// provoke every error branch of the service commands and of the service
// itself.
#pragma once

#include "portio/Win32Api.h"

#include <windows.h>

#include <aclapi.h>

namespace bypassctl {

struct ServiceApi {
    // Service control manager.
    SC_HANDLE(WINAPI* OpenSCManagerW)(LPCWSTR, LPCWSTR, DWORD);
    SC_HANDLE(WINAPI* CreateServiceW)
    (SC_HANDLE, LPCWSTR, LPCWSTR, DWORD, DWORD, DWORD, DWORD, LPCWSTR, LPCWSTR, LPDWORD, LPCWSTR,
        LPCWSTR, LPCWSTR);
    SC_HANDLE(WINAPI* OpenServiceW)(SC_HANDLE, LPCWSTR, DWORD);
    BOOL(WINAPI* ChangeServiceConfig2W)(SC_HANDLE, DWORD, LPVOID);
    BOOL(WINAPI* ControlService)(SC_HANDLE, DWORD, LPSERVICE_STATUS);
    BOOL(WINAPI* QueryServiceStatus)(SC_HANDLE, LPSERVICE_STATUS);
    BOOL(WINAPI* DeleteService)(SC_HANDLE);
    BOOL(WINAPI* CloseServiceHandle)(SC_HANDLE);

    // The service process's side.
    BOOL(WINAPI* StartServiceCtrlDispatcherW)(const SERVICE_TABLE_ENTRYW*);
    SERVICE_STATUS_HANDLE(WINAPI* RegisterServiceCtrlHandlerExW)
    (LPCWSTR, LPHANDLER_FUNCTION_EX, LPVOID);
    BOOL(WINAPI* SetServiceStatus)(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS);

    // The event log and its source's registration.
    BOOL(WINAPI* ReportEventW)(HANDLE, WORD, WORD, DWORD, PSID, WORD, DWORD, LPCWSTR*, LPVOID);
    LSTATUS(WINAPI* RegSetKeyValueW)(HKEY, LPCWSTR, LPCWSTR, DWORD, LPCVOID, DWORD);
    LSTATUS(WINAPI* RegDeleteKeyW)(HKEY, LPCWSTR);

    // This program's path, and keepalive's wait for the stop.
    DWORD(WINAPI* GetModuleFileNameW)(HMODULE, LPWSTR, DWORD);
    DWORD(WINAPI* WaitForSingleObject)(HANDLE, DWORD);

    // Who may change the program the service runs: its files' owners and
    // access lists, and the DLLs beside it.
    DWORD(WINAPI* GetNamedSecurityInfoW)
    (LPCWSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
        PSECURITY_DESCRIPTOR*);
    HANDLE(WINAPI* FindFirstFileW)(LPCWSTR, LPWIN32_FIND_DATAW);
    BOOL(WINAPI* FindNextFileW)(HANDLE, LPWIN32_FIND_DATAW);
    BOOL(WINAPI* FindClose)(HANDLE);
};

// The service type of keepalive's service: a process of its own.
constexpr DWORD kOwnProcessService = SERVICE_WIN32_OWN_PROCESS;

// The table the service code calls through: the real one unless a test's.
inline const ServiceApi& ServiceCalls() { return bypass::Calls<ServiceApi>(); }

using ScHandle = bypass::ScHandle<ServiceApi>;

} // namespace bypassctl

template <> bypass::CallTable<bypassctl::ServiceApi>& bypass::CallTableOf<bypassctl::ServiceApi>();
