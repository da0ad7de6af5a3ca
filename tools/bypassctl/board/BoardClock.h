// keepalive's clock: the time the board's hardware counts in.
#pragma once

#include "board/Simulator.h"
#include "supervise/StopSignal.h"

namespace bypassctl {

class BoardClock {
public:
    // simulator: the simulated board, null on a real one.
    BoardClock(BoardSimulator* simulator, StopSignal& stop);

    // In ms: the time that passed for the simulated hardware, or the steady
    // clock on a real board.
    unsigned long long NowMs() const;
    // Waits one interval, or less when a stop is requested; true on a stop.
    bool WaitInterval(int seconds);

private:
    BoardSimulator* m_simulator;
    StopSignal& m_stop;
};

} // namespace bypassctl
