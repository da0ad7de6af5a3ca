#include "board/BoardClock.h"

#include <chrono>

namespace bypassctl {

BoardClock::BoardClock(BoardSimulator* simulator, StopSignal& stop)
    : m_simulator(simulator)
    , m_stop(stop)
{
}

// A simulated board's time only runs in the tool's pauses, so it is told how
// long the wait was.
unsigned long long BoardClock::NowMs() const
{
    if (m_simulator)
        return m_simulator->PassedMs();
    using namespace std::chrono;
    return static_cast<unsigned long long>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool BoardClock::WaitInterval(int seconds)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const bool stopped = m_stop.WaitFor(static_cast<unsigned>(seconds));
    if (m_simulator) {
        const auto waited
            = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        m_simulator->Pass(stopped ? static_cast<unsigned long long>(waited)
                                  : static_cast<unsigned long long>(seconds) * 1000);
    }
    return stopped;
}

} // namespace bypassctl
