#include "portio/Win32Api.h"

#include <oleauto.h>

namespace bypass {
namespace {

const Win32Api kReal = {
    ::CreateFileA,
    ::DeviceIoControl,
    ::CloseHandle,
    ::GetLastError,
    ::OpenSCManagerA,
    ::OpenServiceA,
    ::StartServiceA,
    ::CreateServiceA,
    ::CloseServiceHandle,
    ::GetSystemDirectoryA,
    ::GetModuleFileNameA,
    ::CopyFileA,
    ::CreateFileW,
    ::GetFileSizeEx,
    ::ReadFile,
    ::WriteFile,
    ::FlushFileBuffers,
    ::SetLastError,
    ::GetFileAttributesW,
    ::DeleteFileW,
    ::GetModuleFileNameW,
    ::GetSystemWindowsDirectoryW,
    ::ExpandEnvironmentStringsW,
    ::CreateServiceW,
    ::ChangeServiceConfigW,
    ::QueryServiceConfigW,
    ::QueryServiceStatus,
    ::ControlService,
    ::DeleteService,
    ::CoInitialize,
    ::CoInitializeSecurity,
    ::CoCreateInstance,
    ::CoUninitialize,
    ::SysAllocString,
    ::SysFreeString,
    ::SysStringLen,
    ::VariantInit,
    ::VariantClear,
    ::SafeArrayGetLBound,
    ::SafeArrayGetUBound,
    ::SafeArrayGetElement,
    ::MultiByteToWideChar,
    ::CreateWaitableTimerExW,
    ::SetWaitableTimer,
    ::WaitForSingleObject,
    ::Sleep,
    ::QueryPerformanceCounter,
    ::QueryPerformanceFrequency,
};

CallTable<Win32Api> g_calls(kReal);

} // namespace

template <> CallTable<Win32Api>& CallTableOf<Win32Api>() { return g_calls; }

} // namespace bypass
