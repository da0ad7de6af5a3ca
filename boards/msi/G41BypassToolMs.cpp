#include "boards/msi/G41BypassToolMs.h"

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

} // namespace

C_G41_BypassTool_MS::C_G41_BypassTool_MS(int nBypassType)
    : CBypassTool(nBypassType)
{
}

int C_G41_BypassTool_MS::DisableWDT() { return MsiDisableWDT(); }

int C_G41_BypassTool_MS::EnableWDT() { return MsiEnableWDT(*this); }

int C_G41_BypassTool_MS::SetWDTTimeout_Bypass(int, int nSecond)
{
    m_nTimeoutSecond = nSecond;
    MsiSioEnter();
    ApplyBypassMode(kMsiArmForBypass, MsiTimeoutByte(nSecond));
    MsiSioExit();
    return 0;
}

int C_G41_BypassTool_MS::SetWDTTimeout_ResartSys(int, int nSecond)
{
    m_nTimeoutSecond = nSecond;
    MsiSioEnter();
    ApplyBypassMode(kMsiArmForRestart, MsiTimeoutByte(nSecond));
    MsiSioExit();
    return 0;
}

int C_G41_BypassTool_MS::EnableBypass()
{
    MsiSioEnter();
    ApplyBypassMode(kMsiBypassNow, 0);
    MsiSioExit();
    return 0;
}

int C_G41_BypassTool_MS::DisableBypass()
{
    MsiSioEnter();
    ApplyBypassMode(kMsiNormal, 0);
    MsiSioExit();
    return 0;
}

int C_G41_BypassTool_MS::IsSupportWDT() { return 1; }

int C_G41_BypassTool_MS::ApplyBypassMode(int nMode, std::uint8_t nTimeout)
{
    MsiApplyLatchedMode(nMode, nTimeout, [this](int nBypass) { LatchRelays(nBypass); });
    return 0;
}

void C_G41_BypassTool_MS::LatchRelays(int nBypass)
{
    LatchSegmentRelay(0, nBypass);
    if (m_nBypassType == kTwoSegmentType)
        LatchSegmentRelay(1, nBypass);
}

int C_G41_BypassTool_MS::LatchSegmentRelay(int nSegment, int nBypass)
{
    if (!MsiLatchGateOpen())
        return -1;
    MsiModifyPort(kAddressPort, 0xBF, MsiMoveBit(nSegment, 0, 6));
    MsiModifyPort(kDataPort, 0xF9, MsiMoveBit(nSegment, 1, 2) | MsiMoveBit(nSegment, 2, 1));
    MsiModifyPort(kDataPort, 0xF7, kLatchEnables | MsiMoveBit(nBypass, 0, 3));
    SleepMs(kSetupMs);
    MsiPulseLatchStrobe(kStrobePort, kStrobe);
    return 0;
}
