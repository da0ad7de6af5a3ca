#include "boards/msi/MsiSioTool.h"

#include "boards/msi/MsiSio.h"

using namespace bypass;

CMsiSioBypassTool::CMsiSioBypassTool(int nBypassType, SlotResults results)
    : CBypassTool(nBypassType)
    , m_results(results)
{
}

// Stops the device-8 watchdog.
int CMsiSioBypassTool::DisableWDT() { return MsiDisableWDT(); }

// Reloads the counter of whatever logical device is selected.
int CMsiSioBypassTool::EnableWDT() { return MsiEnableWDT(m_nTimeoutSecond); }

int CMsiSioBypassTool::SetWDTTimeout_Bypass(int, int nSecond)
{
    m_nTimeoutSecond = nSecond;
    return RunMode(kMsiArmForBypass, MsiTimeoutByte(nSecond), 0);
}

int CMsiSioBypassTool::SetWDTTimeout_ResartSys(int, int nSecond)
{
    m_nTimeoutSecond = nSecond;
    return RunMode(kMsiArmForRestart, MsiTimeoutByte(nSecond), m_results.armForRestart);
}

int CMsiSioBypassTool::EnableBypass() { return RunMode(kMsiBypassNow, 0, m_results.switchRelays); }

int CMsiSioBypassTool::DisableBypass() { return RunMode(kMsiNormal, 0, m_results.switchRelays); }

int CMsiSioBypassTool::IsSupportWDT() { return 1; }

int CMsiSioBypassTool::RunMode(int nMode, std::uint8_t nTimeout, int nResult)
{
    MsiConfigMode sio;
    ApplyBypassMode(nMode, nTimeout);
    return nResult;
}
