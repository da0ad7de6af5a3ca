#include "boards/msi/945GMBypassToolMs.h"

#include "boards/msi/MsiSio.h"

using namespace bypass;

namespace {

constexpr std::uint16_t kBypassPort = 0x5E;

// All four relay bits on; the upper nibble is always written 0.
void BypassPortOn() { MsiModifyPort(kBypassPort, 0x00, 0x0F); }

// Relay bits 0 and 1 off; bits 2 and 3 stay as read.
void BypassPortOff() { MsiModifyPort(kBypassPort, 0x0C, 0x00); }

// Device 8 is selected only in the modes that arm or stop the watchdog:
// forcing expiry acts on whatever device the chip has selected.
int ApplyBypassMode(int nMode, std::uint8_t nTimeout)
{
    switch (nMode) {
    case kMsiBypassNow:
        MsiForceWdtExpiry();
        BypassPortOn();
        break;
    case kMsiNormal:
        MsiSelectWdtDevice();
        MsiStopWdtCounter();
        BypassPortOff();
        break;
    case kMsiArmForRestart:
        MsiSelectWdtDevice();
        MsiArmWdt(kMsiExpiryRestart, nTimeout);
        break;
    case kMsiArmForBypass:
        BypassPortOff();
        MsiSelectWdtDevice();
        MsiArmWdt(kMsiExpiryBypass, nTimeout);
        break;
    default:
        break;
    }
    return 0;
}

} // namespace

C945GMBypassTool_MS::C945GMBypassTool_MS(int nBypassType)
    : CBypassTool(nBypassType)
{
}

int C945GMBypassTool_MS::DisableWDT() { return MsiDisableWDT(); }

int C945GMBypassTool_MS::EnableWDT() { return MsiEnableWDT(*this); }

int C945GMBypassTool_MS::SetWDTTimeout_Bypass(int, int nSecond)
{
    m_nTimeoutSecond = nSecond;
    MsiSioEnter();
    ApplyBypassMode(kMsiArmForBypass, MsiTimeoutByte(nSecond));
    MsiSioExit();
    return 0;
}

int C945GMBypassTool_MS::SetWDTTimeout_ResartSys(int, int nSecond)
{
    m_nTimeoutSecond = nSecond;
    MsiSioEnter();
    ApplyBypassMode(kMsiArmForRestart, MsiTimeoutByte(nSecond));
    MsiSioExit();
    return -1;
}

int C945GMBypassTool_MS::EnableBypass()
{
    MsiSioEnter();
    ApplyBypassMode(kMsiBypassNow, 0);
    MsiSioExit();
    return 0;
}

int C945GMBypassTool_MS::DisableBypass()
{
    MsiSioEnter();
    ApplyBypassMode(kMsiNormal, 0);
    MsiSioExit();
    return 0;
}

int C945GMBypassTool_MS::IsSupportWDT() { return 1; }
