#include "boards/ioport/D525LwTool.h"

#include "boards/PortModify.h"
#include "boards/ioport/Ite87.h"
#include "portio/PortBackend.h"

namespace {

using bypass::ModifyPortByte;
using namespace bypass::ite;

// GPIO data ports of pin sets 2, 4 and 5.
constexpr std::uint16_t kGpioSet2Port = 0x801;
constexpr std::uint16_t kGpioSet4Port = 0x803;
constexpr std::uint16_t kGpioSet5Port = 0x804;

// Relay pins of segments 16 and 32 on port 0x801: 1 normal, 0 bypass.
constexpr std::uint8_t kRelay16 = 0x08;
constexpr std::uint8_t kRelay32 = 0x10;

// Each register access is a whole cycle of its own: enter, select device 7,
// the access, leave.
std::uint8_t ReadSioReg(std::uint8_t reg)
{
    ConfigMode sio;
    sio.SelectDevice(kGpioWatchdogDevice);
    return sio.Read(reg);
}

void WriteSioReg(std::uint8_t reg, std::uint8_t value)
{
    ConfigMode sio;
    sio.SelectDevice(kGpioWatchdogDevice);
    sio.Write(reg, value);
}

void ModifySioReg(std::uint8_t reg, std::uint8_t clear, std::uint8_t set)
{
    WriteSioReg(reg, bypass::Modified(ReadSioReg(reg), clear, set));
}

} // namespace

CD525_ByapssTool_LW::CD525_ByapssTool_LW(int nBypassType)
    : CBypassTool(nBypassType)
{
}

void CD525_ByapssTool_LW::InitGpio()
{
    // Relay pins 3 and 4 and mode pins 6 and 7 of set 2 (pin 2 is made an
    // output but never driven), mode pin 7 of set 4 and mode pin 2 of set 5
    // become simple-I/O outputs; last, the expiry no longer restarts the
    // system.
    struct RegisterChange {
        std::uint8_t reg;
        std::uint8_t clear;
        std::uint8_t set;
    };
    static const RegisterChange kChanges[] = {
        {kPinFunctionSet2, 0, 0xDC},
        {kPinFunctionSet4, 0, 0x80},
        {kPinFunctionSet5, 0, 0x04},
        {kSimpleIoSet2, 0, 0xDC},
        {kOutputEnableSet2, 0, 0xDC},
        {kSimpleIoSet4, 0, 0x80},
        {kOutputEnableSet4, 0, 0x80},
        {kSimpleIoSet5, 0, 0x04},
        {kOutputEnableSet5, 0, 0x04},
        {kWatchdogConfig, kResetOnExpiry, 0},
    };
    WriteSioReg(kWatchdogTimeoutLow, 0x00);
    for (const RegisterChange& change : kChanges)
        ModifySioReg(change.reg, change.clear, change.set);
}

int CD525_ByapssTool_LW::init()
{
    // the pins are set up even when the driver did not open: each access
    // then reports its own failure
    OpenPortDriver();
    InitGpio();
    return 1;
}

// No watchdog: both answer 0 without touching a port.
int CD525_ByapssTool_LW::DisableWDT() { return 0; }

int CD525_ByapssTool_LW::EnableWDT() { return 0; }

// Arming only records the timeout and takes the ports out of bypass.
int CD525_ByapssTool_LW::SetWDTTimeout_Bypass(int, int nSecond)
{
    m_nTimeoutSecond = nSecond;
    return CD525_ByapssTool_LW::DisableBypass();
}

int CD525_ByapssTool_LW::SetWDTTimeout_ResartSys(int, int nSecond)
{
    m_nTimeoutSecond = nSecond;
    return CD525_ByapssTool_LW::DisableBypass();
}

int CD525_ByapssTool_LW::EnableBypass()
{
    // Each segment's mode lines are set before its relay drops: set 2 bit 6
    // high and bit 7 low for segment 16, set 4 bit 7 high and set 5 bit 2
    // low for segment 32.
    ModifyPortByte(kGpioSet2Port, 0xC0, 0x40);
    ModifyPortByte(kGpioSet2Port, kRelay16, 0);
    ModifyPortByte(kGpioSet4Port, 0, 0x80);
    ModifyPortByte(kGpioSet5Port, 0x04, 0);
    ModifyPortByte(kGpioSet2Port, kRelay32, 0);
    return 0;
}

int CD525_ByapssTool_LW::DisableBypass()
{
    ModifyPortByte(kGpioSet2Port, kRelay16, kRelay16);
    ModifyPortByte(kGpioSet2Port, kRelay32, kRelay32);
    return 0;
}

int CD525_ByapssTool_LW::IsSupportWDT() { return 0; }
