#include "boards/ioport/D525LwTool.h"

#include "boards/ioport/Ite87.h"
#include "boards/ioport/PortUpdate.h"
#include "portio/PortBackend.h"

namespace {

using bypass::UpdatePort;

constexpr int kSegment16 = 16;
constexpr int kSegment32 = 32;

// GPIO data ports of pin sets 2, 4 and 5.
constexpr std::uint16_t kGpioSet2Port = 0x801;
constexpr std::uint16_t kGpioSet4Port = 0x803;
constexpr std::uint16_t kGpioSet5Port = 0x804;

// Relay pin of a segment on port 0x801 (1 = normal, 0 = bypass), 0 for a
// value that names no segment.
std::uint8_t RelayMask(int nSeg)
{
    switch (nSeg) {
    case kSegment16:
        return 0x08;
    case kSegment32:
        return 0x10;
    default:
        return 0;
    }
}

} // namespace

CD525_ByapssTool_LW::CD525_ByapssTool_LW(int nBypassType)
    : CBypassTool(nBypassType)
{
}

void CD525_ByapssTool_LW::EnterSioConfig() { bypass::ite::WriteConfigKey(0); }

void CD525_ByapssTool_LW::ExitSioConfig() { bypass::ite::LeaveConfig(); }

std::uint8_t CD525_ByapssTool_LW::ReadSioReg(std::uint8_t nReg)
{
    using namespace bypass::ite;
    EnterSioConfig();
    WriteIndexed(kDeviceSelect, kGpioWatchdogDevice, 0);
    const std::uint8_t value = ReadIndexed(nReg, 0);
    ExitSioConfig();
    return value;
}

void CD525_ByapssTool_LW::WriteSioReg(std::uint8_t nReg, std::uint8_t nValue)
{
    using namespace bypass::ite;
    EnterSioConfig();
    WriteIndexed(kDeviceSelect, kGpioWatchdogDevice, 0);
    WriteIndexed(nReg, nValue, 0);
    ExitSioConfig();
}

int CD525_ByapssTool_LW::InitGpio()
{
    using namespace bypass::ite;
    struct RegisterChange {
        std::uint8_t reg;
        std::uint8_t keep;
        std::uint8_t set;
    };
    // Relay pins 3 and 4 and mode pins 6 and 7 of set 2 (pin 2 is made an
    // output but never driven), mode pin 7 of set 4 and mode pin 2 of set 5
    // become simple-I/O outputs; last, watchdog configuration bit 6 is cleared.
    static const RegisterChange kChanges[] = {
        {kPinFunctionSet2, 0xFF, 0xDC},
        {kPinFunctionSet4, 0xFF, 0x80},
        {kPinFunctionSet5, 0xFF, 0x04},
        {kSimpleIoSet2, 0xFF, 0xDC},
        {kOutputEnableSet2, 0xFF, 0xDC},
        {kSimpleIoSet4, 0xFF, 0x80},
        {kOutputEnableSet4, 0xFF, 0x80},
        {kSimpleIoSet5, 0xFF, 0x04},
        {kOutputEnableSet5, 0xFF, 0x04},
        {kWatchdogConfig, 0xBF, 0x00},
    };
    WriteSioReg(kWatchdogTimeoutLow, 0x00);
    for (const RegisterChange& change : kChanges) {
        const std::uint8_t value = ReadSioReg(change.reg);
        WriteSioReg(change.reg, static_cast<std::uint8_t>((value & change.keep) | change.set));
    }
    return 0;
}

void CD525_ByapssTool_LW::PrepareSegment(int nSeg)
{
    if (nSeg == kSegment16) {
        // mode lines: bit 6 high, bit 7 low
        UpdatePort(kGpioSet2Port, 0x3F, 0x40);
    } else if (nSeg == kSegment32) {
        UpdatePort(kGpioSet4Port, 0xFF, 0x80);
        UpdatePort(kGpioSet5Port, 0xFB, 0x00);
    }
}

void CD525_ByapssTool_LW::EnableSegmentBypass(int nSeg)
{
    PrepareSegment(nSeg);
    if (const std::uint8_t relay = RelayMask(nSeg))
        UpdatePort(kGpioSet2Port, static_cast<std::uint8_t>(~relay), 0);
}

void CD525_ByapssTool_LW::DisableSegmentBypass(int nSeg)
{
    if (const std::uint8_t relay = RelayMask(nSeg))
        UpdatePort(kGpioSet2Port, static_cast<std::uint8_t>(~relay), relay);
}

int CD525_ByapssTool_LW::init()
{
    // the pins are set up even when the driver did not open: each access
    // then reports its own failure
    OpenPortDriver();
    InitGpio();
    return 1;
}

int CD525_ByapssTool_LW::DisableWDT() { return 0; }

int CD525_ByapssTool_LW::EnableWDT() { return 0; }

void CD525_ByapssTool_LW::KeepTimeoutAndLeaveBypass(int nSecond)
{
    m_nTimeoutSecond = nSecond;
    // a virtual call, so that a variant of the board releases its own relays
    DisableBypass();
}

int CD525_ByapssTool_LW::SetWDTTimeout_Bypass(int, int nSecond)
{
    KeepTimeoutAndLeaveBypass(nSecond);
    return 0;
}

int CD525_ByapssTool_LW::SetWDTTimeout_ResartSys(int, int nSecond)
{
    KeepTimeoutAndLeaveBypass(nSecond);
    return 0;
}

int CD525_ByapssTool_LW::EnableBypass()
{
    EnableSegmentBypass(kSegment16);
    EnableSegmentBypass(kSegment32);
    return 0;
}

int CD525_ByapssTool_LW::DisableBypass()
{
    DisableSegmentBypass(kSegment16);
    DisableSegmentBypass(kSegment32);
    return 0;
}

int CD525_ByapssTool_LW::IsSupportWDT() { return 0; }
