#include "boards/ioport/Q35Tool.h"

#include "boards/PortModify.h"
#include "boards/WatchdogReadback.h"
#include "boards/ioport/Ite87.h"
#include "portio/PortBackend.h"

#include <initializer_list>

namespace {

using bypass::ModifyPortByte;
using namespace bypass::ite;

// The chip needs these pauses between the bytes of its entry key and
// between the steps of a register access; it leaves configuration mode
// through the control byte as read.
constexpr unsigned kAccessGapMs = 1;
constexpr Pacing kPacing{2, kAccessGapMs, true};
// Each edge of the pulse on the GPIO pin is held this long.
constexpr unsigned kPulseEdgeMs = 100;
// Settling time between stopping the watchdog and moving the relays.
constexpr unsigned kRelaySettleMs = 5;

// The pulse pin: bit 7 of the chip's GPIO set 2, whose data port is 0xA21.
constexpr std::uint16_t kPulsePort = 0xA21;
constexpr std::uint8_t kPulseBit = 0x80;

constexpr std::uint16_t kChipsetGpioPort = 0x48F;
constexpr std::uint8_t kRelayBit = 0x01;         // 1: ports out of bypass
constexpr std::uint8_t kExpiryToRelayBit = 0x08; // 1: expiry bypasses the ports

void SetPulsePin(bool high)
{
    ModifyPortByte(kPulsePort, kPulseBit, high ? kPulseBit : 0);
    SleepMs(kPulseEdgeMs);
}

// Device 7 is selected again before every register access.
void WriteWatchdogDevice(ConfigMode& sio, std::uint8_t reg, std::uint8_t value)
{
    sio.SelectDevice(kGpioWatchdogDevice);
    Pause(kAccessGapMs);
    sio.Write(reg, value);
}

std::uint8_t ReadWatchdogDevice(ConfigMode& sio, std::uint8_t reg)
{
    sio.SelectDevice(kGpioWatchdogDevice);
    Pause(kAccessGapMs);
    return sio.Read(reg);
}

} // namespace

bypass::WatchdogReadback bypass::Q35ReadWatchdog() { return ReadWatchdog(kPacing); }

CQ35BypassTool::CQ35BypassTool(int nBypassType)
    : CBypassTool(nBypassType)
{
}

void CQ35BypassTool::ResetWDT()
{
    ConfigMode sio(kPacing);
    WriteWatchdogDevice(sio, kWatchdogTimeoutLow, 0x00);
    WriteWatchdogDevice(sio, kWatchdogTimeoutHigh, 0x00);
    WriteWatchdogDevice(sio, kWatchdogControl, 0x00);
    // bit 7 of GPIO set 2 is the pulse pin: a pulled-up simple-I/O output
    for (std::uint8_t reg : {kPinFunctionSet2, kSimpleIoSet2, kPullUpSet2, kOutputEnableSet2})
        WriteWatchdogDevice(sio, reg, ReadWatchdogDevice(sio, reg) | kPulseBit);
    SetPulsePin(true);
    SetPulsePin(false);
    SetPulsePin(true);
}

void CQ35BypassTool::StartWDT(int nSecond)
{
    ConfigMode sio(kPacing);
    // the count is in seconds; expiry is signalled on PWROK
    WriteWatchdogDevice(sio, kWatchdogConfig, kCountInSeconds | kPwrOkOnExpiry);
    // the high byte stays 0 from ResetWDT
    WriteWatchdogDevice(sio, kWatchdogTimeoutLow, static_cast<std::uint8_t>(nSecond));
}

void CQ35BypassTool::ArmWDT(int nSecond, std::uint8_t nExpiryBits)
{
    m_nTimeoutSecond = nSecond;
    ResetWDT();
    ModifyPortByte(kChipsetGpioPort, kRelayBit | kExpiryToRelayBit, 0);
    ModifyPortByte(kChipsetGpioPort, 0, kRelayBit | nExpiryBits);
    StartWDT(nSecond);
}

void CQ35BypassTool::SetRelay(std::uint8_t nRelayBit)
{
    ResetWDT();
    SleepMs(kRelaySettleMs);
    ModifyPortByte(kChipsetGpioPort, kRelayBit | kExpiryToRelayBit, 0);
    ModifyPortByte(kChipsetGpioPort, kRelayBit, nRelayBit);
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

// Both armings stop the watchdog, pulse the pin and set the relay bit
// first.
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

// Both relay slots stop the watchdog before they move the relay bit.
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
