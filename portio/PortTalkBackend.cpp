#include "portio/PortTalk.h"
#include "portio/PortTalkPaths.h"
#include "portio/Win32Api.h"

#include <cstdio>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

HANDLE g_hPortDriver = INVALID_HANDLE_VALUE;

namespace bypass {
namespace {

HANDLE OpenPortTalkDevice()
{
    return Win32().CreateFileA(porttalk::kDevicePath, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

// One request through DeviceIoControl on the process-wide handle.
bool PortTalkBackend::DeviceTransport::Send(
    unsigned long code, unsigned char* buffer, unsigned long inSize, unsigned long outSize)
{
    DWORD returned = 0;
    return Win32().DeviceIoControl(g_hPortDriver, code, buffer, inSize, outSize ? buffer : nullptr,
               outSize, &returned, nullptr)
        != FALSE;
}

unsigned long PortTalkBackend::DeviceTransport::LastError() const { return Win32().GetLastError(); }

int PortTalkBackend::Open()
{
    g_hPortDriver = OpenPortTalkDevice();
    if (g_hPortDriver != INVALID_HANDLE_VALUE)
        return 0;
    StartPortDriver();
    g_hPortDriver = OpenPortTalkDevice();
    if (g_hPortDriver != INVALID_HANDLE_VALUE)
        return 0;
    std::printf("PortTalk: Couldn't access PortTalk Driver, Please ensure driver is loaded.\n\n");
    return -1;
}

void PortTalkBackend::Close()
{
    if (g_hPortDriver == INVALID_HANDLE_VALUE)
        return;
    Win32().CloseHandle(g_hPortDriver);
    g_hPortDriver = INVALID_HANDLE_VALUE;
}

namespace {

// The timer is asked to wake this long before the deadline and the rest is
// spun on the performance counter: a waitable timer may fire a little late,
// and under load or under Wine by more than a millisecond.
constexpr LONGLONG kSpinUs = 1000;

LONGLONG PerformanceCount(const Win32Api& api)
{
    LARGE_INTEGER now;
    api.QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// Blocks for about us microseconds. Sleep alone rounds up to the 15.6 ms
// system tick, which would stretch the relay strobes, so a high-resolution
// waitable timer does it where the system has one.
void BlockFor(const Win32Api& api, LONGLONG us)
{
    HANDLE timer = api.CreateWaitableTimerExW(
        nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    LARGE_INTEGER due;
    due.QuadPart = -us * 10; // relative, in 100 ns units
    if (timer && api.SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE))
        api.WaitForSingleObject(timer, INFINITE);
    else
        api.Sleep(static_cast<DWORD>(us / 1000));
    if (timer)
        api.CloseHandle(timer);
}

} // namespace

void PortTalkBackend::SleepMs(unsigned ms)
{
    const Win32Api& api = Win32();
    LARGE_INTEGER frequency;
    api.QueryPerformanceFrequency(&frequency);
    const LONGLONG deadline
        = PerformanceCount(api) + static_cast<LONGLONG>(ms) * frequency.QuadPart / 1000;
    const LONGLONG blockUs = static_cast<LONGLONG>(ms) * 1000 - kSpinUs;
    if (blockUs > 0)
        BlockFor(api, blockUs);
    while (PerformanceCount(api) < deadline) { }
}

PortBackend& PlatformPortBackend()
{
    static PortTalkBackend backend;
    return backend;
}

} // namespace bypass
