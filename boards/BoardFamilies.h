// What the board table's rows share: the families' facts, and a function
// per family that makes a board's row from what differs. Only the board
// table's own files include this.
#pragma once

#include "boards/BoardTable.h"
#include "framework/BypassTool.h"

#include <initializer_list>
#include <vector>

namespace bypass::rows {

template <class Tool> CBypassTool* Make(int type) { return new Tool(type); }

// The Q35 tool and the SMBus controller take the seconds' low byte inline.
int LowByte(int seconds);
int NoTimeout(int seconds);
int MsiByte(int seconds);

constexpr std::uint8_t R = kPortRead, W = kPortWrite, RW = kPortRead | kPortWrite;
constexpr std::uint8_t B8 = kWidth8;

constexpr const char* kMsiCounter = "Super I/O register 0xF6";
// The IT87's count of seconds; its high byte, 0x74, the tools leave at 0.
constexpr const char* kIteCounter = "Super I/O register 0x73";

// The MSI Super I/O: index 0x4E written, data 0x4F read and written.
inline const PortUse kMsiSio[] = {{0x4E, B8, W}, {0x4F, B8, RW}};
std::vector<PortUse> With(std::initializer_list<PortUse> own, const PortUse (&shared)[2]);

inline const WatchdogStep kNoWatchdog = {WatchdogEffect::Nothing, "nothing: no watchdog"};
extern const WatchdogStep kMsiEnable;

inline const BypassStep kNoEffect = {BypassWatchdogEffect::None, "nothing: no watchdog"};
inline const BypassStep kStopsFirst = {BypassWatchdogEffect::Stops,
    "stops the watchdog first, as every operation that switches the relays does"};
// The device-8 MSI boards' EnableBypass where it selects the device first.
extern const BypassStep kMsiForceExpiry;

// The identity of a board whose other facts its family's function gives.
struct Identity {
    int type;
    const char* product;
    const char* platform;
    const char* className;
    CBypassTool* (*create)(int type);
};

// The two G41-NEXCOM boards: one tool class and board logic.
BoardRow G41Nexcom(int type, const char* product, const char* platform);
// The MSI boards whose watchdog is device 8 of a W83627-family chip.
BoardRow MsiDevice8(
    const Identity& board, BypassStep bypassOn, std::initializer_list<PortUse> relays);
// The LANXUS boards: an IT87 watchdog, relays on chipset GPIO lines.
BoardRow Lanxus(const Identity& board, unsigned segments, std::vector<PortUse> ports);

} // namespace bypass::rows
