// What the LANXUS boards share: an ITE IT87 watchdog in logical device 7
// that the board wires to its relays, driven the same way on both boards
// from per-board data (the register writes of each watchdog state and the
// board's relay lines).
#pragma once

#include "framework/ToolOperations.h"

#include <cstdint>
#include <vector>

namespace bypass {

// Both boards route the watchdog's timeout to their relay logic as SMI#:
// this SMI# control (register 0xF1) with a board's pin mapping (0xF4).
constexpr std::uint8_t kSmiControlToRelays = 0x44;

// One write to a register of the watchdog's logical device.
struct IteRegisterWrite {
    std::uint8_t reg;
    std::uint8_t value;
};

// The writes of one watchdog state, after device 7 is selected. A write to
// the timeout's low byte takes the count being set instead of its value.
using IteWriteSequence = std::vector<IteRegisterWrite>;

struct LanxusBoard {
    IteWriteSequence stop;
    IteWriteSequence armBypass;
    IteWriteSequence armRestart;
    // init sets up the relay lines before it stops the watchdog, or after.
    bool relayLinesFirst;
    void (*initRelayLines)();
    // Puts all relays into bypass (1) or takes them out of it (0).
    void (*setRelays)(int nBypass);
};

} // namespace bypass

class CLanxusBypassTool : public CBypassTool {
public:
    int init() override;
    BYPASS_TOOL_OPERATIONS;

protected:
    CLanxusBypassTool(int nBypassType, const bypass::LanxusBoard& board);

private:
    void StopWatchdog() const;
    void SwitchRelays(int nBypass) const;
    int ArmWithRelaysNormal(const bypass::IteWriteSequence& arming, int nSecond);

    const bypass::LanxusBoard* m_board;
};
