// What each board's watchdog hardware makes of a timeout in seconds. The
// boards take it in different forms (a one-byte counter, or a base-2
// logarithm code), so a number that suits one board is wrapped, clamped or
// refused by another. bypassctl judges a timeout here before it touches any
// port, and tells the user what the hardware will really be given.
#pragma once

#include <string>

namespace bypassctl {

struct TimeoutVerdict {
    bool accepted = false;
    // Accepted: what the hardware gets ("Super I/O register 0xF6 = 0x1E (30 s)").
    // Refused: why, and which seconds the board can take.
    std::string text;
    // Accepted: the least time the hardware may count before it expires. A
    // logarithm code stands for a step of seconds, the board may wait as
    // little as the step's first.
    int hardwareSeconds = 0;
};

// The timeout as the arming for restart (restart set) or for bypass gives it
// to the hardware.
TimeoutVerdict JudgeTimeout(int type, bool restart, long long seconds);

// The timeouts the board accepts and what its hardware counts for them, for
// the help text; empty for a board without a watchdog.
std::string AcceptedTimeouts(int type);

// Why the board cannot arm its watchdog to restart the system; empty where
// it can.
std::string WhyNoRestart(int type);

} // namespace bypassctl
