#include "boards/msi/G41BypassToolMs.h"

#include "boards/PortModify.h"
#include "boards/msi/MsiSio.h"
#include "portio/PortBackend.h"

using namespace bypass;

namespace {

// The G41 latch: segment address on 0x48C bit 6 and 0x4B8 bits 2 and 1,
// relay data on 0x4B8 bit 3, strobe on 0x48F bit 0.
constexpr std::uint16_t kAddressPort = 0x48C;
constexpr std::uint16_t kDataPort = 0x4B8;
constexpr std::uint16_t kStrobePort = 0x48F;
constexpr std::uint8_t kStrobe = 0x01;
constexpr std::uint8_t kLatchEnables = 0xC0; // 0x4B8 bits 6 and 7, set by every latch
constexpr unsigned kSetupMs = 50;

// Only the B3/B4 appliances (type 6) have the second segment wired.
constexpr int kTwoSegmentType = 6;

// The relay of one segment; nothing when the gate keeps the latch shut.
void LatchSegmentRelay(int nSegment, int nBypass)
{
    if (!MsiLatchGateOpen())
        return;
    ModifyPortByte(kAddressPort, 0x40, MsiMoveBit(nSegment, 0, 6));
    ModifyPortByte(kDataPort, 0x06, MsiMoveBit(nSegment, 1, 2) | MsiMoveBit(nSegment, 2, 1));
    ModifyPortByte(kDataPort, 0x08, kLatchEnables | MsiMoveBit(nBypass, 0, 3));
    SleepMs(kSetupMs);
    MsiPulseLatchStrobe(kStrobePort, kStrobe);
}

} // namespace

C_G41_BypassTool_MS::C_G41_BypassTool_MS(int nBypassType)
    : CMsiSioBypassTool(nBypassType, {0, 0})
{
}

void C_G41_BypassTool_MS::ApplyBypassMode(int nMode, std::uint8_t nTimeout)
{
    const bool twoSegments = m_nBypassType == kTwoSegmentType;
    MsiApplyLatchedMode(nMode, nTimeout, [twoSegments](int nBypass) {
        LatchSegmentRelay(0, nBypass);
        if (twoSegments)
            LatchSegmentRelay(1, nBypass);
    });
}
