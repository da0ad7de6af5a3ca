#include "boards/msi/D525BypassToolMs.h"

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

} // namespace

C_D525_BypassTool_MS::C_D525_BypassTool_MS(int nBypassType)
    : CBypassTool(nBypassType)
{
}

int C_D525_BypassTool_MS::DisableWDT() { return MsiDisableWDT(); }

int C_D525_BypassTool_MS::EnableWDT() { return MsiEnableWDT(*this); }

int C_D525_BypassTool_MS::SetWDTTimeout_Bypass(int, int nSecond)
{
    m_nTimeoutSecond = nSecond;
    MsiSioEnter();
    ApplyBypassMode(kMsiArmForBypass, MsiTimeoutByte(nSecond));
    MsiSioExit();
    return 0;
}

int C_D525_BypassTool_MS::SetWDTTimeout_ResartSys(int, int nSecond)
{
    m_nTimeoutSecond = nSecond;
    MsiSioEnter();
    ApplyBypassMode(kMsiArmForRestart, MsiTimeoutByte(nSecond));
    MsiSioExit();
    return 0;
}

int C_D525_BypassTool_MS::EnableBypass()
{
    MsiSioEnter();
    ApplyBypassMode(kMsiBypassNow, 0);
    MsiSioExit();
    return 0;
}

int C_D525_BypassTool_MS::DisableBypass()
{
    MsiSioEnter();
    ApplyBypassMode(kMsiNormal, 0);
    MsiSioExit();
    return 0;
}

int C_D525_BypassTool_MS::IsSupportWDT() { return 1; }

int C_D525_BypassTool_MS::ApplyBypassMode(int nMode, std::uint8_t nTimeout)
{
    MsiApplyLatchedMode(nMode, nTimeout, LatchRelays);
    return 0;
}

void C_D525_BypassTool_MS::LatchRelays(int nBypass)
{
    // both segments are wired on every D525-MS appliance
    LatchSegmentRelay(0, nBypass);
    LatchSegmentRelay(1, nBypass);
}

int C_D525_BypassTool_MS::LatchSegmentRelay(int nSegment, int nBypass)
{
    if (!MsiLatchGateOpen())
        return -1;
    MsiModifyPort(kAddressPort, 0xF6, MsiMoveBit(nSegment, 0, 0) | MsiMoveBit(nSegment, 2, 3));
    SleepMs(kSetupMs);
    MsiModifyPort(kAddressHighPort, 0xBF, MsiMoveBit(nSegment, 1, 6));
    SleepMs(kSetupMs);
    MsiModifyPort(kDataPort, 0xF7, MsiMoveBit(nBypass, 0, 3) | kLatchEnables);
    SleepMs(kSetupMs);
    MsiPulseLatchStrobe(kStrobePort, kStrobe);
    return 0;
}
