#include "boards/msi/D525BypassToolMs.h"

#include "boards/PortModify.h"
#include "boards/msi/MsiSio.h"
#include "portio/PortBackend.h"

using namespace bypass;

namespace {

// The D525 latch: segment address on 0x48F bits 0 and 3 and 0x48D bit 6,
// relay data on 0x4B9 bit 3 with the latch enables in bits 1 and 2, strobe
// on 0x48F bit 5. The latch needs each set-up line to settle before the next
// one moves.
constexpr std::uint16_t kAddressPort = 0x48F;
constexpr std::uint16_t kAddressHighPort = 0x48D;
constexpr unsigned kSetupMs = 100;
constexpr MsiLatchLines kLatch{0x4B9, 0x06, kSetupMs, 0x48F, 0x20};

// The relay of one segment; nothing when the gate keeps the latch shut.
void LatchSegmentRelay(int nSegment, int nBypass)
{
    if (!MsiLatchGateOpen())
        return;
    ModifyPortByte(kAddressPort, 0x09, MsiMoveBit(nSegment, 0, 0) | MsiMoveBit(nSegment, 2, 3));
    SleepMs(kSetupMs);
    ModifyPortByte(kAddressHighPort, 0x40, MsiMoveBit(nSegment, 1, 6));
    SleepMs(kSetupMs);
    MsiLatchRelayState(kLatch, nBypass);
}

// Both segments are wired on every D525-MS appliance.
void LatchRelays(int nBypass)
{
    LatchSegmentRelay(0, nBypass);
    LatchSegmentRelay(1, nBypass);
}

} // namespace

C_D525_BypassTool_MS::C_D525_BypassTool_MS(int nBypassType)
    : CMsiSioBypassTool(nBypassType, {0, 0})
{
}

void C_D525_BypassTool_MS::ApplyBypassMode(int nMode, std::uint8_t nTimeout)
{
    MsiApplyLatchedMode(nMode, nTimeout, LatchRelays);
}
