// The Win32 calls of the driver client, the driver installation, bypassctl's
// driver command and the baseboard query, gathered in one table of function
// pointers (see CallTable.h), so that tests can replace single entries and
// provoke every error branch.
#pragma once

#if defined(_WIN32)

#include "portio/CallTable.h"

#include <oaidl.h>
#include <objbase.h>
#include <windows.h>

namespace bypass {

struct Win32Api {
    // Device I/O and the thread's last error.
    HANDLE(WINAPI* CreateFileA)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    BOOL(WINAPI* DeviceIoControl)
    (HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* CloseHandle)(HANDLE);
    DWORD(WINAPI* GetLastError)();

    // Service control manager and file installation.
    SC_HANDLE(WINAPI* OpenSCManagerA)(LPCSTR, LPCSTR, DWORD);
    SC_HANDLE(WINAPI* OpenServiceA)(SC_HANDLE, LPCSTR, DWORD);
    BOOL(WINAPI* StartServiceA)(SC_HANDLE, DWORD, LPCSTR*);
    SC_HANDLE(WINAPI* CreateServiceA)
    (SC_HANDLE, LPCSTR, LPCSTR, DWORD, DWORD, DWORD, DWORD, LPCSTR, LPCSTR, LPDWORD, LPCSTR, LPCSTR,
        LPCSTR);
    BOOL(WINAPI* CloseServiceHandle)(SC_HANDLE);
    UINT(WINAPI* GetSystemDirectoryA)(LPSTR, UINT);
    DWORD(WINAPI* GetModuleFileNameA)(HMODULE, LPSTR, DWORD);
    BOOL(WINAPI* CopyFileA)(LPCSTR, LPCSTR, BOOL);
    // bypassctl's driver command: the driver's file read and written whole
    // through wide paths, the service's repair, status and removal.
    HANDLE(WINAPI* CreateFileW)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    BOOL(WINAPI* GetFileSizeEx)(HANDLE, PLARGE_INTEGER);
    BOOL(WINAPI* ReadFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* WriteFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* FlushFileBuffers)(HANDLE);
    void(WINAPI* SetLastError)(DWORD);
    DWORD(WINAPI* GetFileAttributesW)(LPCWSTR);
    BOOL(WINAPI* DeleteFileW)(LPCWSTR);
    DWORD(WINAPI* GetModuleFileNameW)(HMODULE, LPWSTR, DWORD);
    UINT(WINAPI* GetSystemWindowsDirectoryW)(LPWSTR, UINT);
    DWORD(WINAPI* ExpandEnvironmentStringsW)(LPCWSTR, LPWSTR, DWORD);
    SC_HANDLE(WINAPI* CreateServiceW)
    (SC_HANDLE, LPCWSTR, LPCWSTR, DWORD, DWORD, DWORD, DWORD, LPCWSTR, LPCWSTR, LPDWORD, LPCWSTR,
        LPCWSTR, LPCWSTR);
    BOOL(WINAPI* ChangeServiceConfigW)
    (SC_HANDLE, DWORD, DWORD, DWORD, LPCWSTR, LPCWSTR, LPDWORD, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR);
    BOOL(WINAPI* QueryServiceConfigW)(SC_HANDLE, LPQUERY_SERVICE_CONFIGW, DWORD, LPDWORD);
    BOOL(WINAPI* QueryServiceStatus)(SC_HANDLE, LPSERVICE_STATUS);
    BOOL(WINAPI* ControlService)(SC_HANDLE, DWORD, LPSERVICE_STATUS);
    BOOL(WINAPI* DeleteService)(SC_HANDLE);

    // COM, WMI strings and variants.
    HRESULT(WINAPI* CoInitialize)(LPVOID);
    HRESULT(WINAPI* CoInitializeSecurity)
    (PSECURITY_DESCRIPTOR, LONG, SOLE_AUTHENTICATION_SERVICE*, void*, DWORD, DWORD, void*, DWORD,
        void*);
    HRESULT(WINAPI* CoCreateInstance)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
    void(WINAPI* CoUninitialize)();
    BSTR(WINAPI* SysAllocString)(const OLECHAR*);
    void(WINAPI* SysFreeString)(BSTR);
    UINT(WINAPI* SysStringLen)(BSTR);
    void(WINAPI* VariantInit)(VARIANTARG*);
    HRESULT(WINAPI* VariantClear)(VARIANTARG*);
    HRESULT(WINAPI* SafeArrayGetLBound)(SAFEARRAY*, UINT, LONG*);
    HRESULT(WINAPI* SafeArrayGetUBound)(SAFEARRAY*, UINT, LONG*);
    HRESULT(WINAPI* SafeArrayGetElement)(SAFEARRAY*, LONG*, void*);
    int(WINAPI* MultiByteToWideChar)(UINT, DWORD, LPCCH, int, LPWSTR, int);

    // Timing of the board protocols' pauses.
    HANDLE(WINAPI* CreateWaitableTimerExW)(LPSECURITY_ATTRIBUTES, LPCWSTR, DWORD, DWORD);
    BOOL(WINAPI* SetWaitableTimer)
    (HANDLE, const LARGE_INTEGER*, LONG, PTIMERAPCROUTINE, LPVOID, BOOL);
    DWORD(WINAPI* WaitForSingleObject)(HANDLE, DWORD);
    void(WINAPI* Sleep)(DWORD);
    BOOL(WINAPI* QueryPerformanceCounter)(LARGE_INTEGER*);
    BOOL(WINAPI* QueryPerformanceFrequency)(LARGE_INTEGER*);
};

template <> CallTable<Win32Api>& CallTableOf<Win32Api>();

// The table the library calls through: the real one unless a test's.
inline const Win32Api& Win32() { return Calls<Win32Api>(); }

// A handle of the service manager, closed through the table it came from.
template <class Table> class ScHandle {
public:
    explicit ScHandle(SC_HANDLE handle = nullptr)
        : m_handle(handle)
    {
    }
    ~ScHandle() { Reset(nullptr); }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    void Reset(SC_HANDLE handle)
    {
        if (m_handle)
            Calls<Table>().CloseServiceHandle(m_handle);
        m_handle = handle;
    }
    SC_HANDLE Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

private:
    SC_HANDLE m_handle;
};

} // namespace bypass

#endif
