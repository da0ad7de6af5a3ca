#include "supervise/StopRequests.h"

#include <csignal>
#include <signal.h>

namespace bypassctl {
namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

void OnSignal(int /*signal*/) { g_stopRequested = 1; }

} // namespace

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

bool StopRequested() { return g_stopRequested != 0; }

} // namespace bypassctl
