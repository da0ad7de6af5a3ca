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

const Win32Api* g_api = nullptr;

} // namespace

const Win32Api& RealWin32Api() { return kReal; }

const Win32Api& Win32() { return g_api ? *g_api : kReal; }

const Win32Api* SetWin32Api(const Win32Api* api)
{
    const Win32Api* previous = g_api;
    g_api = api;
    return previous;
}

} // namespace bypass
