#include "supervise/StopRequests.h"

#include <windows.h>

#include <csignal>

namespace bypassctl {
namespace {

volatile std::sig_atomic_t g_stopRequested = 0;
// Set with the request, so that a wait sleeps until it or its end.
HANDLE g_requested = CreateEventW(nullptr, TRUE, FALSE, nullptr);

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    g_stopRequested = 1;
    SetEvent(g_requested);
    // Windows ends the process when the handler of a close, logoff or
    // shutdown event returns: hold it until keepalive has stopped the
    // watchdog and exited (the system allows about five seconds).
    constexpr DWORD kGraceMs = 4000;
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        Sleep(kGraceMs);
    return TRUE;
}

} // namespace

void CatchStopRequests() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

bool StopRequested() { return g_stopRequested != 0; }

bool AwaitStopRequest(std::chrono::milliseconds wait)
{
    if (!StopRequested())
        WaitForSingleObject(g_requested, static_cast<DWORD>(wait.count()));
    return StopRequested();
}

} // namespace bypassctl
