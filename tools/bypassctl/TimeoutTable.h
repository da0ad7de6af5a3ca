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
    int shortestSeconds = 0;
};

TimeoutVerdict JudgeTimeout(int type, int seconds);

// True when arming with expiry action "restart" does something on the
// board (the SMBus controller board only knows expiry into bypass).
bool CanArmForRestart(int type);

// What EnableWDT gives the hardware on a board where it does not send the
// stored timeout; null where it does.
const char* EnableWithoutTimeout(int type);

// True when the tool writes the same bytes for both expiry actions, so that
// the board's own logic decides what expiry does (the G41-NEXCOM boards).
bool BoardChoosesExpiry(int type);

} // namespace bypassctl
