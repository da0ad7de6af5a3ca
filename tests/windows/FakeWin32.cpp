#include "windows/FakeWin32.h"

#include <cstdio>
#include <cstring>

namespace bypass::test {
namespace {

FakeWin32* g_fake = nullptr;

HANDLE const kDeviceHandle = reinterpret_cast<HANDLE>(0x1234);
HANDLE const kTimerHandle = reinterpret_cast<HANDLE>(0x7100);
SC_HANDLE const kManagerHandle = reinterpret_cast<SC_HANDLE>(0x5C0);
SC_HANDLE const kServiceHandle = reinterpret_cast<SC_HANDLE>(0x5E0);

std::string Hex(unsigned long long value)
{
    char text[24];
    std::snprintf(text, sizeof text, "%llX", value);
    return text;
}

std::string Text(LPCSTR text) { return text ? text : "(null)"; }

void Note(const std::string& call) { g_fake->log.push_back(call); }

// The next scripted outcome; a failure sets the last error.
bool Next(std::deque<FakeWin32::Outcome>& queue)
{
    if (queue.empty())
        return true;
    const FakeWin32::Outcome outcome = queue.front();
    queue.pop_front();
    if (!outcome.ok)
        g_fake->lastError = outcome.error;
    return outcome.ok;
}

HANDLE WINAPI FakeCreateFileA(LPCSTR name, DWORD access, DWORD share,
    LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags, HANDLE templ)
{
    Note("CreateFileA " + Text(name) + " " + Hex(access) + " " + Hex(share) + " "
        + (security ? "sa" : "-") + " " + Hex(disposition) + " " + Hex(flags) + " "
        + (templ ? "template" : "-"));
    return Next(g_fake->createFile) ? kDeviceHandle : INVALID_HANDLE_VALUE;
}

BOOL WINAPI FakeDeviceIoControl(HANDLE handle, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
    DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped)
{
    std::string call = "DeviceIoControl " + Hex(code) + " in";
    for (DWORD i = 0; i < inSize; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, " %02X", static_cast<const unsigned char*>(in)[i]);
        call += byte;
    }
    call += " out "
        + std::string(out == nullptr ? "null"
                : out == in          ? "same"
                                     : "other")
        + " " + std::to_string(outSize);
    if (handle != kDeviceHandle)
        call += " badhandle";
    if (overlapped || !returned)
        call += " overlapped-or-no-count";
    Note(call);
    if (!g_fake->ioctl) {
        g_fake->lastError = g_fake->ioctlError;
        return FALSE;
    }
    const BOOL ok = g_fake->ioctl(code, static_cast<const unsigned char*>(in), inSize,
        static_cast<unsigned char*>(out), outSize);
    if (!ok)
        g_fake->lastError = g_fake->ioctlError;
    else if (returned)
        *returned = outSize;
    return ok;
}

BOOL WINAPI FakeCloseHandle(HANDLE handle)
{
    Note(handle == kTimerHandle ? "CloseHandle timer"
                                : "CloseHandle " + Hex(reinterpret_cast<ULONG_PTR>(handle)));
    return TRUE;
}

DWORD WINAPI FakeGetLastError() { return g_fake->lastError; }

SC_HANDLE WINAPI FakeOpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access)
{
    Note("OpenSCManagerA " + Text(machine) + " " + Text(database) + " " + Hex(access));
    return Next(g_fake->scManager) ? kManagerHandle : nullptr;
}

SC_HANDLE WINAPI FakeOpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access)
{
    Note("OpenServiceA " + std::string(manager ? "scm" : "null") + " " + Text(name) + " "
        + Hex(access));
    return Next(g_fake->openService) ? kServiceHandle : nullptr;
}

BOOL WINAPI FakeStartServiceA(SC_HANDLE service, DWORD count, LPCSTR* args)
{
    Note("StartServiceA " + std::string(service == kServiceHandle ? "svc" : "?") + " "
        + std::to_string(count) + " " + (args ? "args" : "null"));
    return Next(g_fake->startService);
}

SC_HANDLE WINAPI FakeCreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR display, DWORD access,
    DWORD type, DWORD start, DWORD errorControl, LPCSTR binary, LPCSTR group, LPDWORD tag,
    LPCSTR dependencies, LPCSTR account, LPCSTR password)
{
    Note("CreateServiceA " + std::string(manager ? "scm" : "null") + " " + Text(name) + " "
        + Text(display) + " " + Hex(access) + " " + Hex(type) + " " + Hex(start) + " "
        + Hex(errorControl) + " " + Text(binary) + " " + Text(group) + " " + (tag ? "tag" : "-")
        + " " + Text(dependencies) + " " + Text(account) + " " + Text(password));
    return Next(g_fake->createService) ? kServiceHandle : nullptr;
}

BOOL WINAPI FakeCloseServiceHandle(SC_HANDLE handle)
{
    Note(handle == kServiceHandle ? "CloseServiceHandle svc" : "CloseServiceHandle scm");
    return TRUE;
}

UINT WINAPI FakeGetSystemDirectoryA(LPSTR buffer, UINT size)
{
    Note("GetSystemDirectoryA " + std::to_string(size));
    const std::string& directory = g_fake->systemDirectory;
    if (directory.empty())
        return 0;
    if (directory.size() >= size)
        return static_cast<UINT>(directory.size() + 1);
    std::memcpy(buffer, directory.c_str(), directory.size() + 1);
    return static_cast<UINT>(directory.size());
}

DWORD WINAPI FakeGetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size)
{
    Note("GetModuleFileNameA " + std::string(module ? "module" : "exe") + " "
        + std::to_string(size));
    const std::string& name = g_fake->moduleFileName;
    std::snprintf(buffer, size, "%s", name.c_str());
    return static_cast<DWORD>(name.size());
}

BOOL WINAPI FakeCopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists)
{
    Note("CopyFileA " + Text(from) + " " + Text(to) + " " + std::to_string(failIfExists));
    return Next(g_fake->copyFile);
}

HANDLE WINAPI FakeCreateWaitableTimerExW(LPSECURITY_ATTRIBUTES, LPCWSTR, DWORD flags, DWORD access)
{
    Note("CreateWaitableTimerExW " + Hex(flags) + " " + Hex(access));
    return g_fake->timerAvailable ? kTimerHandle : nullptr;
}

BOOL WINAPI FakeSetWaitableTimer(
    HANDLE, const LARGE_INTEGER* due, LONG period, PTIMERAPCROUTINE, LPVOID, BOOL resume)
{
    Note("SetWaitableTimer " + std::to_string(due->QuadPart) + " " + std::to_string(period) + " "
        + std::to_string(resume));
    g_fake->timerDue = -due->QuadPart;
    return TRUE;
}

DWORD WINAPI FakeWaitForSingleObject(HANDLE handle, DWORD timeout)
{
    Note(std::string("WaitForSingleObject ") + (handle == kTimerHandle ? "timer" : "?") + " "
        + Hex(timeout));
    g_fake->clock += g_fake->timerDue;
    return WAIT_OBJECT_0;
}

void WINAPI FakeSleep(DWORD ms)
{
    Note("Sleep " + std::to_string(ms));
    g_fake->clock += static_cast<LONGLONG>(ms) * 10000;
}

BOOL WINAPI FakeQueryPerformanceCounter(LARGE_INTEGER* now)
{
    now->QuadPart = g_fake->clock;
    g_fake->clock += 100;
    return TRUE;
}

BOOL WINAPI FakeQueryPerformanceFrequency(LARGE_INTEGER* frequency)
{
    frequency->QuadPart = 10000000;
    return TRUE;
}

} // namespace

FakeWin32::FakeWin32()
    : table(RealWin32Api())
{
    g_fake = this;
    table.CreateFileA = FakeCreateFileA;
    table.DeviceIoControl = FakeDeviceIoControl;
    table.CloseHandle = FakeCloseHandle;
    table.GetLastError = FakeGetLastError;
    table.OpenSCManagerA = FakeOpenSCManagerA;
    table.OpenServiceA = FakeOpenServiceA;
    table.StartServiceA = FakeStartServiceA;
    table.CreateServiceA = FakeCreateServiceA;
    table.CloseServiceHandle = FakeCloseServiceHandle;
    table.GetSystemDirectoryA = FakeGetSystemDirectoryA;
    table.GetModuleFileNameA = FakeGetModuleFileNameA;
    table.CopyFileA = FakeCopyFileA;
    table.CreateWaitableTimerExW = FakeCreateWaitableTimerExW;
    table.SetWaitableTimer = FakeSetWaitableTimer;
    table.WaitForSingleObject = FakeWaitForSingleObject;
    table.Sleep = FakeSleep;
    table.QueryPerformanceCounter = FakeQueryPerformanceCounter;
    table.QueryPerformanceFrequency = FakeQueryPerformanceFrequency;
    m_previous = SetWin32Api(&table);
}

FakeWin32::~FakeWin32()
{
    SetWin32Api(m_previous);
    g_fake = nullptr;
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& line : lines)
        text += line + "\n";
    return text;
}

} // namespace bypass::test
