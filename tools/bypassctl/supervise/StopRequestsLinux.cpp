#include "supervise/StopRequests.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

namespace bypassctl {
namespace {

volatile std::sig_atomic_t g_stopRequested = 0;
// The handler's wake-up for a wait that sleeps in poll: a byte in a pipe
// is noticed wherever in the wait the signal came.
int g_wakeUp[2] = {-1, -1};

void OnSignal(int /*signal*/)
{
    const int saved = errno;
    g_stopRequested = 1;
    if (g_wakeUp[1] >= 0)
        static_cast<void>(write(g_wakeUp[1], "s", 1));
    errno = saved;
}

} // namespace

void CatchStopRequests()
{
    if (g_wakeUp[0] < 0 && pipe2(g_wakeUp, O_CLOEXEC | O_NONBLOCK) != 0)
        g_wakeUp[0] = g_wakeUp[1] = -1;
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A dropped SSH session hangs up: stop as for SIGTERM rather than die
    // with the watchdog armed.
    sigaction(SIGHUP, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

bool StopRequested() { return g_stopRequested != 0; }

bool AwaitStopRequest(std::chrono::milliseconds wait)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + wait;
    while (!StopRequested()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0)
            break;
        pollfd wakeUp{g_wakeUp[0], POLLIN, 0};
        poll(&wakeUp, g_wakeUp[0] >= 0 ? 1 : 0, static_cast<int>(left.count()));
    }
    return StopRequested();
}

} // namespace bypassctl
