#include "portio/PortTalk.h"
#include "portio/PortTalkPaths.h"
#include "portio/Win32Api.h"

#include <cstdio>
#include <cstring>

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

void PutLe16(unsigned char* at, std::uint16_t value)
{
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

void PutLe32(unsigned char* at, std::uint32_t value)
{
    PutLe16(at, static_cast<std::uint16_t>(value));
    PutLe16(at + 2, static_cast<std::uint16_t>(value >> 16));
}

std::uint16_t GetLe16(const unsigned char* at)
{
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

std::uint32_t GetLe32(const unsigned char* at)
{
    return GetLe16(at) | (static_cast<std::uint32_t>(GetLe16(at + 2)) << 16);
}

} // namespace

// One request. A read passes the same buffer for its answer, so a failed
// read leaves the request bytes in place for its caller to return.
void PortTalkBackend::Send(
    DWORD code, unsigned char* buffer, DWORD inSize, DWORD outSize, const char* what)
{
    DWORD returned = 0;
    if (Win32().DeviceIoControl(g_hPortDriver, code, buffer, inSize, outSize ? buffer : nullptr,
            outSize, &returned, nullptr))
        return;
    std::printf("Error occured during %s while talking to PortTalk driver %d\n", what,
        static_cast<int>(Win32().GetLastError()));
    ++m_failed;
}

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

std::uint8_t PortTalkBackend::In8(std::uint16_t port)
{
    unsigned char buffer[PORTTALK_READ_UCHAR_IN];
    PutLe16(buffer, port);
    Send(PORTTALK_READ_UCHAR, buffer, PORTTALK_READ_UCHAR_IN, PORTTALK_READ_UCHAR_OUT, "inportb");
    return buffer[0];
}

void PortTalkBackend::Out8(std::uint16_t port, std::uint8_t value)
{
    unsigned char buffer[PORTTALK_WRITE_UCHAR_IN];
    PutLe16(buffer, port);
    buffer[PORTTALK_VALUE_OFFSET] = value;
    Send(PORTTALK_WRITE_UCHAR, buffer, PORTTALK_WRITE_UCHAR_IN, 0, "outportb");
}

std::uint16_t PortTalkBackend::In16(std::uint16_t port)
{
    unsigned char buffer[PORTTALK_READ_USHORT_IN] = {};
    PutLe16(buffer, port);
    Send(
        PORTTALK_READ_USHORT, buffer, PORTTALK_READ_USHORT_IN, PORTTALK_READ_USHORT_OUT, "inportl");
    return GetLe16(buffer);
}

void PortTalkBackend::Out16(std::uint16_t port, std::uint16_t value)
{
    unsigned char buffer[PORTTALK_WRITE_USHORT_IN] = {};
    PutLe16(buffer, port);
    PutLe16(buffer + PORTTALK_VALUE_OFFSET, value);
    Send(PORTTALK_WRITE_USHORT, buffer, PORTTALK_WRITE_USHORT_IN, 0, "outportl");
}

std::uint32_t PortTalkBackend::In32(std::uint32_t port)
{
    unsigned char buffer[PORTTALK_READ_ULONG_IN] = {};
    PutLe32(buffer, port);
    Send(PORTTALK_READ_ULONG, buffer, PORTTALK_READ_ULONG_IN, PORTTALK_READ_ULONG_OUT, "inportl");
    return GetLe32(buffer);
}

void PortTalkBackend::Out32(std::uint32_t port, std::uint32_t value)
{
    unsigned char buffer[PORTTALK_WRITE_ULONG_IN] = {};
    PutLe32(buffer, port);
    PutLe32(buffer + PORTTALK_VALUE_OFFSET_ULONG, value);
    Send(PORTTALK_WRITE_ULONG, buffer, PORTTALK_WRITE_ULONG_IN, 0, "outportl");
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
