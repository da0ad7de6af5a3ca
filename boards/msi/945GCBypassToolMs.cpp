#include "boards/msi/945GCBypassToolMs.h"

#include "boards/msi/MsiSio.h"

using namespace bypass;

namespace {

constexpr std::uint16_t kBypassPort = 0x5E;
constexpr std::uint8_t kRelayBits = 0x03;
constexpr std::uint8_t kRegCounter = 0xF6;

// Both relay bits together; the other bits are written back as read.
void SetBypassPort(int nOn)
{
    MsiModifyPort(kBypassPort, static_cast<std::uint8_t>(~kRelayBits), nOn ? kRelayBits : 0x00);
}

int ApplyBypassMode(int nMode, std::uint8_t nTimeout)
{
    MsiSelectWdtDevice();
    switch (nMode) {
    case kMsiBypassNow:
        // relays first, then the forced expiry
        SetBypassPort(1);
        MsiForceWdtExpiry();
        break;
    case kMsiNormal:
        // this board zeroes the counter before clearing the status
        SetBypassPort(0);
        MsiSioWrite(kRegCounter, 0x00);
        MsiClearWdtStatus();
        break;
    case kMsiArmForRestart:
        MsiArmWdt(kMsiExpiryRestart, nTimeout);
        break;
    case kMsiArmForBypass:
        SetBypassPort(0);
        MsiArmWdt(kMsiExpiryBypass, nTimeout);
        break;
    default:
        break;
    }
    return 0;
}

} // namespace

C_945GC_BypassTool_MS::C_945GC_BypassTool_MS(int nBypassType)
    : CBypassTool(nBypassType)
{
}

int C_945GC_BypassTool_MS::DisableWDT() { return MsiDisableWDT(); }

int C_945GC_BypassTool_MS::EnableWDT() { return MsiEnableWDT(*this); }

int C_945GC_BypassTool_MS::SetWDTTimeout_Bypass(int, int nSecond)
{
    m_nTimeoutSecond = nSecond;
    MsiSioEnter();
    ApplyBypassMode(kMsiArmForBypass, MsiTimeoutByte(nSecond));
    MsiSioExit();
    return 0;
}

int C_945GC_BypassTool_MS::SetWDTTimeout_ResartSys(int, int nSecond)
{
    m_nTimeoutSecond = nSecond;
    MsiSioEnter();
    ApplyBypassMode(kMsiArmForRestart, MsiTimeoutByte(nSecond));
    MsiSioExit();
    return 0;
}

int C_945GC_BypassTool_MS::EnableBypass()
{
    MsiSioEnter();
    ApplyBypassMode(kMsiBypassNow, 0);
    MsiSioExit();
    return -1;
}

int C_945GC_BypassTool_MS::DisableBypass()
{
    MsiSioEnter();
    ApplyBypassMode(kMsiNormal, 0);
    MsiSioExit();
    return -1;
}

int C_945GC_BypassTool_MS::IsSupportWDT() { return 1; }
