#include "boards/ioport/Q35Tool.h"

#include "boards/ioport/Ite87.h"
#include "boards/ioport/PortUpdate.h"
#include "portio/PortBackend.h"

#include <initializer_list>

namespace {

using bypass::UpdatePort;

// The chip needs these pauses between the bytes of its entry key and
// between the steps of a register access.
constexpr unsigned kKeyGapMs = 2;
constexpr unsigned kAccessGapMs = 1;
// Each edge of the pulse on the GPIO pin is held this long.
constexpr unsigned kPulseEdgeMs = 100;
// Settling time between stopping the watchdog and moving the relays.
constexpr unsigned kRelaySettleMs = 5;

constexpr std::uint16_t kPulsePort = 0xA21;
constexpr std::uint8_t kPulseBit = 0x80;

constexpr std::uint16_t kChipsetGpioPort = 0x48F;
constexpr std::uint8_t kRelayBit = 0x01;         // 1: ports out of bypass
constexpr std::uint8_t kExpiryToRelayBit = 0x08; // 1: expiry bypasses the ports

// Watchdog configuration written when it is started.
constexpr std::uint8_t kRunConfig = 0x90;

void SetPulsePin(bool high)
{
    if (high)
        UpdatePort(kPulsePort, 0xFF, kPulseBit);
    else
        UpdatePort(kPulsePort, static_cast<std::uint8_t>(~kPulseBit), 0);
    SleepMs(kPulseEdgeMs);
}

} // namespace

CQ35BypassTool::CQ35BypassTool(int nBypassType)
    : CBypassTool(nBypassType)
{
}

void CQ35BypassTool::EnterSioConfig() { bypass::ite::WriteConfigKey(kKeyGapMs); }

void CQ35BypassTool::ExitSioConfig()
{
    using namespace bypass::ite;
    const std::uint8_t control = ReadIndexed(kConfigControl, 0);
    outportb(kDataPort, control | kLeaveConfigBit);
}

void CQ35BypassTool::WriteSioReg(std::uint8_t nReg, std::uint8_t nValue)
{
    using namespace bypass::ite;
    WriteIndexed(kDeviceSelect, kGpioWatchdogDevice, kAccessGapMs);
    Pause(kAccessGapMs);
    WriteIndexed(nReg, nValue, kAccessGapMs);
}

std::uint8_t CQ35BypassTool::ReadSioReg(std::uint8_t nReg)
{
    using namespace bypass::ite;
    WriteIndexed(kDeviceSelect, kGpioWatchdogDevice, kAccessGapMs);
    Pause(kAccessGapMs);
    return ReadIndexed(nReg, kAccessGapMs);
}

int CQ35BypassTool::ResetWDT()
{
    using namespace bypass::ite;
    EnterSioConfig();
    WriteSioReg(kWatchdogTimeoutLow, 0x00);
    WriteSioReg(kWatchdogTimeoutHigh, 0x00);
    WriteSioReg(kWatchdogControl, 0x00);
    // bit 7 of GPIO set 2 is the pulse pin: a pulled-up simple-I/O output
    for (std::uint8_t reg : {kPinFunctionSet2, kSimpleIoSet2, kPullUpSet2, kOutputEnableSet2})
        WriteSioReg(reg, ReadSioReg(reg) | 0x80);
    SetPulsePin(true);
    SetPulsePin(false);
    SetPulsePin(true);
    ExitSioConfig();
    return 0;
}

void CQ35BypassTool::StartWDT(int nSecond)
{
    using namespace bypass::ite;
    EnterSioConfig();
    WriteSioReg(kWatchdogConfig, kRunConfig);
    // the high byte stays 0 from ResetWDT
    WriteSioReg(kWatchdogTimeoutLow, static_cast<std::uint8_t>(nSecond));
    ExitSioConfig();
}

void CQ35BypassTool::ArmWDT(int nSecond, std::uint8_t nExpiryBits)
{
    m_nTimeoutSecond = nSecond;
    ResetWDT();
    UpdatePort(kChipsetGpioPort, static_cast<std::uint8_t>(~(kRelayBit | kExpiryToRelayBit)), 0);
    UpdatePort(kChipsetGpioPort, 0xFF, kRelayBit | nExpiryBits);
    StartWDT(nSecond);
}

void CQ35BypassTool::SetRelay(std::uint8_t nRelayBit)
{
    ResetWDT();
    SleepMs(kRelaySettleMs);
    UpdatePort(kChipsetGpioPort, static_cast<std::uint8_t>(~(kRelayBit | kExpiryToRelayBit)), 0);
    UpdatePort(kChipsetGpioPort, static_cast<std::uint8_t>(~kRelayBit), nRelayBit);
}

int CQ35BypassTool::init()
{
    // the watchdog is stopped even when the driver did not open: each access
    // then reports its own failure
    OpenPortDriver();
    ResetWDT();
    return 1;
}

int CQ35BypassTool::DisableWDT()
{
    ResetWDT();
    return 0;
}

int CQ35BypassTool::EnableWDT()
{
    // the expiry routing of the last arming stays as it is
    StartWDT(m_nTimeoutSecond);
    return 0;
}

int CQ35BypassTool::SetWDTTimeout_Bypass(int, int nSecond)
{
    ArmWDT(nSecond, kExpiryToRelayBit);
    return 0;
}

int CQ35BypassTool::SetWDTTimeout_ResartSys(int, int nSecond)
{
    ArmWDT(nSecond, 0);
    return 0;
}

int CQ35BypassTool::EnableBypass()
{
    SetRelay(0);
    return 0;
}

int CQ35BypassTool::DisableBypass()
{
    SetRelay(kRelayBit);
    return 0;
}

int CQ35BypassTool::IsSupportWDT() { return 1; }
