// What a watchdog chip tells when its registers are read back. A readback
// writes nothing but what every access to the chip writes: its
// configuration keys, register indexes and the logical device selection,
// which it puts back as it found it.
//
// The board headers declare it forward rather than include this: a
// standard header seen before framework/BypassTool.h makes mingw's GCC
// leave the tool class's type information out of the DLL's exports.
#pragma once

#include <optional>

namespace bypass {

struct WatchdogReadback {
    // The chip's own enable bits, where it has them.
    std::optional<bool> enabled;
    // A counter that counts down reads back as the time left.
    std::optional<long> secondsLeft;
    // A counter that is not known to count down reads back only as the
    // value it was programmed with.
    std::optional<long> programmedSeconds;
    // The chip's timeout status bit: the count ran out since it was cleared.
    bool expired = false;
    // A counter in units longer than a second reads back whole units left,
    // rounded up: secondsLeft is then at most this much less 1 s too long.
    long secondsLeftUnit = 1;
    // Where a set timeout status keeps the chip from firing again, the bit
    // that has to be cleared first.
    const char* firesAgainOnlyOnceCleared = nullptr;
    // Whether expiry restarts the system, where the chip's routing bits
    // tell.
    std::optional<bool> restarts = std::nullopt;
};

} // namespace bypass
