// The watchdog operations that the wdt commands and keepalive share: the
// arming and re-arming calls for an expiry action, the stop, and what each
// board's hardware makes of them.
#pragma once

#include "board/BoardSession.h"
#include "board/TimeoutTable.h"
#include "cli/Command.h"

#include <string>

namespace bypassctl {

bool Restarts(ExpiryAction action);
// "bypass" or "restart", as the report names the action.
const char* ActionName(ExpiryAction action);
// "expiry puts the ports into bypass", "expiry restarts the system".
const char* ExpiryText(ExpiryAction action);

// Arms with the full timeout, the way the action needs.
BoardOperation Arm(ExpiryAction action, int seconds);
// Re-arms with the timeout the tool holds from its last arming.
BoardOperation Rearm(ExpiryAction action);
extern const BoardOperation kDisable;

// What arming needs of the board, checked before any port is touched: the
// hardware's form of the timeout, or exit 2 or 4.
TimeoutVerdict PrepareArming(const Options& options, BoardSession& session);
// "16 s on the hardware (30 s asked)": what the hardware counts first, the
// figure asked for beside it where the two differ.
std::string HardwareSeconds(long long asked, const TimeoutVerdict& hardware);
void SetTimeoutFacts(Report& report, long long asked, const TimeoutVerdict& hardware);
// Whether the board's DisableWDT stops its watchdog at all.
bool CanStop(const BoardSession& session);
// Where it does not: "only bypass off stops it (DisableWDT: ...)", or
// "nothing stops it (...)", for a watchdog armed with action.
std::string WhatStopsIt(const BoardSession& session, ExpiryAction action);

} // namespace bypassctl
