#include "supervise/StopSignal.h"

#include <chrono>
#include <csignal>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#else
#include <signal.h>
#endif

namespace bypassctl {
namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

#if defined(_WIN32)

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    g_stopRequested = 1;
    // Windows ends the process when the handler of a close, logoff or
    // shutdown event returns: hold it until keepalive has stopped the
    // watchdog and exited (the system allows about five seconds).
    constexpr DWORD kGraceMs = 4000;
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        Sleep(kGraceMs);
    return TRUE;
}

void CatchStopRequests() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

#else

void OnSignal(int /*signal*/) { g_stopRequested = 1; }

void CatchStopRequests()
{
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A dropped SSH session hangs up: stop as for SIGTERM rather than die
    // with the watchdog armed.
    sigaction(SIGHUP, &action, nullptr);
}

#endif

class PlatformStopSignal : public StopSignal {
public:
    void Listen() override { CatchStopRequests(); }

    bool WaitFor(unsigned seconds) override
    {
        // Short slices, so a stop is acted on within a tenth of a second.
        constexpr auto kSlice = std::chrono::milliseconds(100);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!g_stopRequested && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(kSlice);
        return g_stopRequested != 0;
    }
};

} // namespace

StopSignal& ProcessStopSignal()
{
    static PlatformStopSignal signal;
    return signal;
}

} // namespace bypassctl
