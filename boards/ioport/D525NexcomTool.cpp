#include "boards/ioport/D525NexcomTool.h"

#include "boards/ioport/Ite87.h"
#include "boards/ioport/NexcomLogic.h"
#include "boards/ioport/TimeoutCode.h"
#include "portio/PortBackend.h"

namespace {

using namespace bypass::nexcom;

// This board's logic wants the low bits all set when armed, else bit 0 only.
constexpr std::uint8_t kControlArmed = kStateArmed | 0x3F;
constexpr std::uint8_t kControlBypass = kStateBypass | 0x01;
constexpr std::uint8_t kControlNormal = kStateNormal | 0x01;

std::uint8_t LowByte(int value) { return static_cast<std::uint8_t>(value); }

// Arms the board logic's watchdog, which bypasses the ports on expiry.
void ArmBypassWDT(int nCode)
{
    outportb(kControlPort, kControlArmed);
    outportb(kTimeoutPort, LowByte(nCode));
}

// Programs the Super I/O watchdog, which restarts the system on expiry.
void ArmRestartWDT(int nCode)
{
    using namespace bypass::ite;
    ConfigMode sio;
    sio.SelectDevice(kGpioWatchdogDevice);
    // the chip takes the same logarithmic code as the board logic, and the
    // timeout before the configuration
    sio.Write(kWatchdogTimeoutLow, LowByte(nCode));
    sio.Write(kWatchdogConfig, kCountInSeconds | kResetOnExpiry);
}

} // namespace

C_D525_BypassTool_NEXCOM::C_D525_BypassTool_NEXCOM(int nBypassType)
    : CBypassTool(nBypassType)
{
}

// Deliberately touches no port: neither watchdog is stopped on this board.
int C_D525_BypassTool_NEXCOM::DisableWDT() { return 0; }

// Re-arms the board logic's watchdog with the stored timeout.
int C_D525_BypassTool_NEXCOM::EnableWDT()
{
    ArmBypassWDT(bypass::D525NexcomTimeoutCode(m_nTimeoutSecond));
    return 0;
}

// Arms the board logic's watchdog; the restart slot arms the Super I/O's.
int C_D525_BypassTool_NEXCOM::SetWDTTimeout_Bypass(int, int nSecond)
{
    m_nTimeoutSecond = nSecond;
    ArmBypassWDT(bypass::D525NexcomTimeoutCode(nSecond));
    return 0;
}

int C_D525_BypassTool_NEXCOM::SetWDTTimeout_ResartSys(int, int nSecond)
{
    m_nTimeoutSecond = nSecond;
    ArmRestartWDT(bypass::D525NexcomTimeoutCode(nSecond));
    return 0;
}

int C_D525_BypassTool_NEXCOM::EnableBypass()
{
    outportb(kControlPort, kControlBypass);
    return 0;
}

int C_D525_BypassTool_NEXCOM::DisableBypass()
{
    outportb(kControlPort, kControlNormal);
    return 0;
}

int C_D525_BypassTool_NEXCOM::IsSupportWDT() { return 1; }
