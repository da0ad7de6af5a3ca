#include "boards/msi/G41BypassToolMs.h"

#include "boards/PortModify.h"
#include "boards/msi/MsiSio.h"
#include "portio/PortBackend.h"

using namespace bypass;

namespace {

// The G41 latch: segment address on 0x48C bit 6 and 0x4B8 bits 2 and 1,
// relay data on 0x4B8 bit 3 with the latch enables in bits 6 and 7, 50 ms
// to settle, strobe on 0x48F bit 0.
constexpr std::uint16_t kAddressPort = 0x48C;
constexpr std::uint16_t kDataPort = 0x4B8;
constexpr MsiLatchLines kLatch{kDataPort, 0xC0, 50, 0x48F, 0x01};

// Only the B3/B4 appliances (type 6) have the second segment wired.
constexpr int kTwoSegmentType = 6;

// The relay of one segment; nothing when the gate keeps the latch shut.
void LatchSegmentRelay(int nSegment, int nBypass)
{
    if (!MsiLatchGateOpen())
        return;
    ModifyPortByte(kAddressPort, 0x40, MsiMoveBit(nSegment, 0, 6));
    ModifyPortByte(kDataPort, 0x06, MsiMoveBit(nSegment, 1, 2) | MsiMoveBit(nSegment, 2, 1));
    MsiLatchRelayState(kLatch, nBypass);
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
