#include "boards/lanxus/H61BypassToolLanxus.h"

#include "boards/PchGpio.h"
#include "boards/PortModify.h"
#include "boards/ioport/Ite87.h"
#include "portio/PortBackend.h"

using namespace bypass;
using namespace bypass::ite;

namespace {

// The H61 GPIO banks of lines 0-31 and 32-63, used through their 16-bit
// views (GPIO 0-15 and 32-47) and the byte views one byte in (GPIO 8-15
// and 40-47).
constexpr PchGpioBank kLow = kPchGpioBanks[0];
constexpr PchGpioBank kHigh = kPchGpioBanks[1];
constexpr std::uint16_t kGpioLevel8to15 = kLow.level + 1;
constexpr std::uint16_t kGpioLevel40to47 = kHigh.level + 1;

// Writes to port 0xED, which nothing on the board decodes, only pass time.
constexpr std::uint16_t kDelayPort = 0xED;
constexpr int kDelayWrites = 100;

// The six lines of the relay controller in the 16-bit views: GPIO 9 and 14,
// and GPIO 43 to 46.
constexpr std::uint16_t kRelayLines0to15 = 0x4200;
constexpr std::uint16_t kRelayLines32to47 = 0x7800;

// In the byte view of GPIO 8-15: GPIO 9 carries the relay state, GPIO 14 is
// the strobe.
constexpr std::uint8_t kStateLine = 0x02;
constexpr int kStateShift = 1;
constexpr std::uint8_t kStrobeLine = 0x40;

// In the byte view of GPIO 40-47: GPIO 43 to 46 go to the controller.
// GPIO 43 is held high and GPIO 44 and 45 low during a write; GPIO 46
// selects the segment.
constexpr std::uint8_t kControllerLines = 0x78;
constexpr std::uint8_t kControllerEnable = 0x08;
constexpr int kSegmentShift = 6;

void IoDelay()
{
    for (int i = 0; i < kDelayWrites; ++i)
        outportb(kDelayPort, 0x00);
}

void DriveRelayLinesHigh()
{
    ModifyPortWord(kLow.level, 0, kRelayLines0to15);
    ModifyPortWord(kHigh.level, 0, kRelayLines32to47);
}

// The six controller lines become GPIO outputs at rest, driven high.
void InitRelayLines()
{
    ModifyPortWord(kLow.select, 0, kRelayLines0to15);
    ModifyPortWord(kHigh.select, 0, kRelayLines32to47);
    ModifyPortWord(kLow.direction, kRelayLines0to15, 0);
    ModifyPortWord(kHigh.direction, kRelayLines32to47, 0);
    DriveRelayLinesHigh();
}

void LatchSegmentRelay(int nSegment, int nBypass)
{
    // State and segment address go on the lines first, then the strobe is
    // pulsed low and high; the controller needs time after each edge.
    ModifyPortByte(kGpioLevel8to15, kStateLine, static_cast<std::uint8_t>(nBypass << kStateShift));
    ModifyPortByte(kGpioLevel40to47, kControllerLines,
        static_cast<std::uint8_t>((nSegment << kSegmentShift) | kControllerEnable));
    ModifyPortByte(kGpioLevel8to15, kStrobeLine, 0);
    IoDelay();
    ModifyPortByte(kGpioLevel8to15, 0, kStrobeLine);
    IoDelay();
    // Back to rest.
    DriveRelayLinesHigh();
}

// The board's two segments always switch together.
void SetRelays(int nBypass)
{
    LatchSegmentRelay(0, nBypass);
    LatchSegmentRelay(1, nBypass);
}

// Expiry is routed to the relay controller through the SMI# control and
// pin mapping registers; a restart arming clears them.
constexpr std::uint8_t kSmiPinToRelays = 0x13;

const LanxusBoard kBoard = {
    {
        {kWatchdogControl, 0x00},
        {kWatchdogConfig, 0x00},
        {kWatchdogTimeoutLow, 0x00},
        {kWatchdogTimeoutHigh, 0x00},
    },
    {
        {kWatchdogControl, 0x00},
        {kWatchdogConfig, kCountInSeconds},
        {kWatchdogTimeoutLow, 0x00},
        {kWatchdogTimeoutHigh, 0x00},
        {kSmiControl2, kSmiControlToRelays},
        {kSmiPinMapping, kSmiPinToRelays},
    },
    {
        {kWatchdogControl, 0x00},
        {kWatchdogConfig, kCountInSeconds | kResetOnExpiry},
        {kWatchdogTimeoutLow, 0x00},
        {kWatchdogTimeoutHigh, 0x00},
        {kSmiControl2, 0x00},
        {kSmiPinMapping, 0x00},
    },
    false,
    InitRelayLines,
    SetRelays,
};

} // namespace

C_H61_BypassTool_Lanxus::C_H61_BypassTool_Lanxus(int nBypassType)
    : CLanxusBypassTool(nBypassType, kBoard)
{
}
