// bypassctl service install | remove | run: keepalive as a Windows service
// ("bypassctl-keepalive"), started by the service manager at boot, with its
// events in the Application event log. The Win32 calls go through one table
// of function pointers, so that tests can provoke every error branch.
#pragma once

#if defined(_WIN32)

#include "cli/Command.h"

#include <windows.h>

#include <string>
#include <vector>

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
};

// Installs api as the table the service commands call (nullptr restores the
// real one) and answers the one it replaces.
const ServiceApi* SetServiceApi(const ServiceApi* api);

// A command line argument quoted so that CommandLineToArgvW (and the C
// runtime's own parsing) gives it back unchanged.
std::wstring QuoteArgument(const std::wstring& argument);

void InstallService(Context& context);
void RemoveService(Context& context);
void RunService(Context& context);

} // namespace bypassctl

#endif
