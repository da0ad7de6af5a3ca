// Q35 board, type 2 (chosen by the host; the board reports no product name).
// An ITE Super I/O watchdog, whose GPIO pin at port 0xA21 bit 7 is pulsed
// whenever the watchdog is stopped, and the chipset GPIO byte at port 0x48F:
// bit 0 drives the relays, bit 3 routes watchdog expiry to them.
#pragma once

#include "framework/ToolOperations.h"

#include <cstdint>

class CQ35BypassTool : public CBypassTool {
public:
    explicit CQ35BypassTool(int nBypassType);

    // Opens the port driver and stops the watchdog; answers 1 either way.
    int init() override;
    BYPASS_TOOL_OPERATIONS;

private:
    // Stops the watchdog, sets up the pulse pin and pulses it.
    static void ResetWDT();
    static void StartWDT(int nSecond);
    // Arms with expiry routed to the relays (bit 3 set) or not.
    void ArmWDT(int nSecond, std::uint8_t nExpiryBits);
    // Sets the relay bit: 0 puts the ports into bypass, 1 takes them out.
    static void SetRelay(std::uint8_t nRelayBit);
};

namespace bypass {

struct WatchdogReadback;

// The chip's watchdog read back at the pace the tool's sequences keep.
WatchdogReadback Q35ReadWatchdog();

} // namespace bypass
