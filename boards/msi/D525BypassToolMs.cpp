#include "boards/msi/D525BypassToolMs.h"

#include "boards/PortModify.h"
#include "boards/msi/MsiSio.h"
#include "portio/PortBackend.h"

using namespace bypass;

namespace {

// The D525 latch: segment address on 0x48F bits 0 and 3 and 0x48D bit 6,
// relay data on 0x4B9 bit 3, strobe on 0x48F bit 5.
constexpr std::uint16_t kAddressPort = 0x48F;
constexpr std::uint16_t kAddressHighPort = 0x48D;
constexpr std::uint16_t kDataPort = 0x4B9;
constexpr std::uint16_t kStrobePort = 0x48F;
constexpr std::uint8_t kStrobe = 0x20;
constexpr std::uint8_t kLatchEnables = 0x06; // 0x4B9 bits 1 and 2, set by every latch
// the latch needs each set-up line to settle before the next one moves
constexpr unsigned kSetupMs = 100;

// The relay of one segment; nothing when the gate keeps the latch shut.
void LatchSegmentRelay(int nSegment, int nBypass)
{
    if (!MsiLatchGateOpen())
        return;
    ModifyPortByte(kAddressPort, 0x09, MsiMoveBit(nSegment, 0, 0) | MsiMoveBit(nSegment, 2, 3));
    SleepMs(kSetupMs);
    ModifyPortByte(kAddressHighPort, 0x40, MsiMoveBit(nSegment, 1, 6));
    SleepMs(kSetupMs);
    ModifyPortByte(kDataPort, 0x08, MsiMoveBit(nBypass, 0, 3) | kLatchEnables);
    SleepMs(kSetupMs);
    MsiPulseLatchStrobe(kStrobePort, kStrobe);
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
