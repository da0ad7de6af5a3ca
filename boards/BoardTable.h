// The board table: one row per catalogue board type (0, 1 to 11, 5001 to
// 5003; -1, "identify", is a request and not a board). Each row says what
// the rest of the project needs to know about a board: the product name the
// catalogue matches, the tool class and how to build it, how its watchdog
// takes a timeout, what its watchdog operations and its bypass switching
// really do to the watchdog, its relay segments and every port its tool
// touches. Every row names its fields (boards/BoardTable.cpp; a family's
// shared facts are in boards/BoardFamilies.cpp). The factory, the
// command-line tool, the simulator and the driver's allow-list tests read
// it; a new board is a new row plus a class holding what differs.
#pragma once

#include "boards/WatchdogReadback.h"

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

class CBypassTool;

namespace bypass {

// How a board's watchdog takes a timeout in seconds.
enum class TimeoutForm {
    None,           // no watchdog that the tool drives
    SecondsByte,    // whole seconds in one byte: larger values wrap, 0 stops it
    BitLengthCode,  // the bit length of the seconds; code c counts 2^(c-1) s
    ClampedCode,    // the same code held to at most 7, the code of 64 s
    DescendingCode, // 6 for 1 s down to 0 for 64 s; the board refuses the rest
};

// What expiry can do besides bypass.
enum class RestartExpiry {
    None,          // the hardware only knows expiry into bypass
    Armed,         // SetWDTTimeout_ResartSys arms the restart output
    CodeAsSeconds, // SetWDTTimeout_ResartSys gives the timeout's code to a
                   // Super I/O counter of seconds: code c counts c seconds
    BoardChooses,  // both arming calls write the same bytes: the board logic
                   // bypasses whatever action was asked
};

// What a watchdog operation does to the hardware, read from the board's
// sequence rather than from the operation's name.
enum class WatchdogEffect { Starts, Stops, Nothing, Other };

struct WatchdogStep {
    WatchdogEffect effect;
    const char* what; // a short description of the sequence's effect
};

// What switching the bypass on or off does to the watchdog, read from the
// board's sequence: on these boards relays and watchdog are coupled.
enum class BypassWatchdogEffect {
    None,                // leaves the watchdog as it was
    Stops,               // stops the watchdog
    StopsBypassWatchdog, // stops the watchdog whose expiry bypasses; the
                         // restart watchdog of another chip counts on
    ForcesExpiry,        // forces an expiry of the armed watchdog: its action
                         // follows at once, a restart where armed for restart
    ArmsShortWatchdog,   // arms a short watchdog whose expiry joins the ports:
                         // the join is pending until it runs out
};

struct BypassStep {
    BypassWatchdogEffect effect;
    const char* what; // a short description of the sequence's effect
};

// Widths (in bytes, as bits of a mask) and directions of port accesses.
enum : std::uint8_t { kWidth8 = 1, kWidth16 = 2, kWidth32 = 4 };
enum : std::uint8_t { kPortRead = 1, kPortWrite = 2 };

// A port the tool touches, with every width and direction it uses there.
// An SMBus-window port is an offset from the SMBus host controller's I/O
// base, which the tool reads from PCI configuration space.
struct PortUse {
    std::uint16_t port;
    std::uint8_t widths;
    std::uint8_t directions;
    bool smbusWindow = false;
};

struct BoardRow {
    int type;
    const char* product;   // the mainboard product name the catalogue matches
    const char* platform;  // the platform the board is known by, "G41-MS"
    const char* className; // the tool class that serves the type
    CBypassTool* (*create)(int type);

    // The watchdog's timeout: its form, the seconds the board can express,
    // the register or port that gets the byte or code, and the board's own
    // conversion from seconds to that byte or code.
    TimeoutForm form;
    int shortestSeconds;
    int longestSeconds;
    const char* timeoutReceiver;
    int (*timeoutValue)(int seconds);

    RestartExpiry restart;
    // Where restart is CodeAsSeconds: the register that gets the code.
    const char* restartReceiver = nullptr;
    WatchdogStep enableWdt;
    bool enableSendsStoredTimeout; // EnableWDT gives the hardware m_nTimeoutSecond
    WatchdogStep disableWdt;

    // What EnableBypass and DisableBypass do to the watchdog.
    BypassStep bypassOn;
    BypassStep bypassOff;

    unsigned segments; // relay segments the board switches
    std::vector<PortUse> ports;

    // Reads back what the watchdog's chip can tell, writing nothing else;
    // null where the board cannot tell (its watchdog sits in board logic
    // whose registers are not known to read back, or it has none).
    WatchdogReadback (*readWatchdog)() = nullptr;

    // Where DisableWDT acts on whichever logical device the Super I/O has
    // selected, without selecting one: a look at that selection which
    // writes no register, and the watchdog's device. Null elsewhere.
    int (*selectedDevice)() = nullptr;
    int watchdogDevice = -1;

    // The text GetCurDesc gives, in words; empty for text the board does not
    // give. Null where the board gives no text.
    std::string (*descriptionInWords)(const char* description) = nullptr;
};

// Every row, in catalogue order.
const std::vector<BoardRow>& BoardTable();

// The row of type, or null when no board has that type.
const BoardRow* FindBoard(int type);

// What switching the bypass on (on set) or off does to the watchdog of
// board type: nothing on a type without a row.
BypassStep BypassWatchdogStep(int type, bool on);

// What the hardware gets for a number of seconds: the byte or code the tool
// writes and the seconds it stands for (a code stands for a step of seconds:
// the board counts the step's first). fits is false outside the board's
// accepted range, where written is what the tool would still write.
struct HardwareTimeout {
    bool fits;
    int written;
    long long firstSecond;
    long long lastSecond;
};
HardwareTimeout TimeoutOnHardware(const BoardRow& row, int seconds);

} // namespace bypass
