#include "boards/lanxus/D525BypassToolLanxus.h"

#include "boards/PortModify.h"
#include "boards/ioport/Ite87.h"

using namespace bypass;
using namespace bypass::ite;

namespace {

// The D525 chipset's GPIO registers at their fixed ports, byte accesses
// only. Bit n of each byte is the GPIO given in its name plus n.
constexpr std::uint16_t kGpioUseSelect8 = 0x1181;
constexpr std::uint16_t kGpioUseSelect24 = 0x1183;
constexpr std::uint16_t kGpioDirection8 = 0x1185;
constexpr std::uint16_t kGpioDirection24 = 0x1187;
constexpr std::uint16_t kGpioLevel8 = 0x118D;
constexpr std::uint16_t kGpioUseSelect40 = 0x11B1;
constexpr std::uint16_t kGpioDirection40 = 0x11B5;

// GPIO 8 is the relay line of the whole board: low bypass, high normal.
constexpr std::uint8_t kRelayLine = 0x01;
// GPIO 9 and 14 are driven high after every relay change.
constexpr std::uint8_t kRelayControlLines = 0x42;
// The lines init makes GPIO outputs: GPIO 14, GPIO 24, 27 and 29, and
// GPIO 41 to 43. GPIO 8 and 9 are used as the firmware configured them.
constexpr std::uint8_t kOutputLines8 = 0x40;
constexpr std::uint8_t kOutputLines24 = 0x29;
constexpr std::uint8_t kOutputLines40 = 0x0E;

// The bypass arming's routing of the timeout to the relay line: pins 0, 1,
// 6 and 7 of the Super I/O's GPIO set 4 take their GPIO function, pin 0
// pulled up, and SMI# goes out on the pin the board wires to its relay logic.
constexpr std::uint8_t kSet4GpioPins = 0xC3;
constexpr std::uint8_t kSet4PullUps = 0x01;
constexpr std::uint8_t kSmiPinToRelays = 0x21;

// Only use select and direction change here; no level is written.
void InitRelayLines()
{
    ModifyPortByte(kGpioUseSelect8, 0, kOutputLines8);
    ModifyPortByte(kGpioDirection8, kOutputLines8, 0);
    ModifyPortByte(kGpioUseSelect24, 0, kOutputLines24);
    ModifyPortByte(kGpioDirection24, kOutputLines24, 0);
    ModifyPortByte(kGpioUseSelect40, 0, kOutputLines40);
    ModifyPortByte(kGpioDirection40, kOutputLines40, 0);
}

void SetRelays(int nBypass)
{
    ModifyPortByte(kGpioLevel8, nBypass ? kRelayLine : 0, nBypass ? 0 : kRelayLine);
    ModifyPortByte(kGpioLevel8, 0, kRelayControlLines);
}

// The counter is reloaded by CIR interrupts except while armed for restart.
// Only the bypass arming routes expiry to the relay line (GPIO set 4 pin
// function and pull-up, SMI# control and pin mapping), ahead of the count;
// stopping and restart arming leave those registers as written here.
const LanxusBoard kBoard = {
    {
        {kWatchdogControl, kReloadOnCirInterrupt},
        {kWatchdogConfig, 0x00},
        {kWatchdogTimeoutLow, 0x00},
        {kWatchdogTimeoutHigh, 0x00},
    },
    {
        {kWatchdogControl, kReloadOnCirInterrupt},
        {kWatchdogConfig, kCountInSeconds},
        {kPinFunctionSet4, kSet4GpioPins},
        {kPullUpSet4, kSet4PullUps},
        {kSmiControl2, kSmiControlToRelays},
        {kSmiPinMapping, kSmiPinToRelays},
        {kWatchdogTimeoutLow, 0x00},
        {kWatchdogTimeoutHigh, 0x00},
    },
    {
        {kWatchdogControl, 0x00},
        {kWatchdogConfig, kCountInSeconds | kResetOnExpiry},
        {kWatchdogTimeoutLow, 0x00},
        {kWatchdogTimeoutHigh, 0x00},
    },
    true,
    InitRelayLines,
    SetRelays,
};

} // namespace

C_D525_BypassTool_Lanxus::C_D525_BypassTool_Lanxus(int nBypassType)
    : CLanxusBypassTool(nBypassType, kBoard)
{
}
