// keepalive's plan: the interval, the checks' budget and the limits a round
// must fit in, judged before anything is armed.
#pragma once

#include "board/BoardSession.h"
#include "board/TimeoutTable.h"

namespace bypassctl {

// What keepalive runs with, judged before anything is armed.
struct KeepalivePlan {
    TimeoutVerdict timeout;
    int interval = 0;
    int checkBudgetMs = 0; // what all of a round's checks may take; 0 without checks
    int maxFailures = 1;
    int startGrace = 0;
};

// Refuses (exit 2) what cannot keep the watchdog armed, naming the option
// given; resolves what was not given to values that fit.
KeepalivePlan PlanKeepalive(const Options& options, BoardSession& session);

} // namespace bypassctl
