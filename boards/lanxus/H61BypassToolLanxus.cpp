#include "boards/lanxus/H61BypassToolLanxus.h"

#include "boards/lanxus/LanxusGpio.h"
#include "boards/lanxus/LanxusSio.h"
#include "portio/PortBackend.h"

using namespace bypass;

namespace {

// The H61 GPIO block at its fixed base 0x500. In the 16-bit views GPIO n
// is bit n (0x50C) or bit n - 32 (0x538); the byte views 0x50D and 0x539
// start at GPIO 8 and GPIO 40.
constexpr std::uint16_t kGpioUseSelect0to15 = 0x500;
constexpr std::uint16_t kGpioDirection0to15 = 0x504;
constexpr std::uint16_t kGpioLevel0to15 = 0x50C;
constexpr std::uint16_t kGpioLevel8to15 = 0x50D;
constexpr std::uint16_t kGpioUseSelect32to47 = 0x530;
constexpr std::uint16_t kGpioDirection32to47 = 0x534;
constexpr std::uint16_t kGpioLevel32to47 = 0x538;
constexpr std::uint16_t kGpioLevel40to47 = 0x539;

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

constexpr int kRelayNormal = 0;
constexpr int kRelayBypass = 1;

} // namespace

C_H61_BypassTool_Lanxus::C_H61_BypassTool_Lanxus(int nBypassType)
    : CBypassTool(nBypassType)
    , m_nBypassOnExpiry(1)
{
}

int C_H61_BypassTool_Lanxus::init()
{
    // The result reflects only the opening: the hardware steps are tried
    // either way, and each failed access reports itself.
    const int opened = CBypassTool::init();
    StopWatchdog();
    InitRelayGpio();
    return opened;
}

int C_H61_BypassTool_Lanxus::DisableWDT()
{
    StopWatchdog();
    return 0;
}

int C_H61_BypassTool_Lanxus::EnableWDT()
{
    ReloadLanxusWDT(m_nTimeoutSecond);
    return 0;
}

int C_H61_BypassTool_Lanxus::SetWDTTimeout_Bypass(int, int nSecond)
{
    return ArmWithRelaysNormal(kLanxusArmBypass, nSecond);
}

int C_H61_BypassTool_Lanxus::SetWDTTimeout_ResartSys(int, int nSecond)
{
    return ArmWithRelaysNormal(kLanxusArmRestart, nSecond);
}

int C_H61_BypassTool_Lanxus::EnableBypass()
{
    StopWatchdog();
    SetAllSegments(kRelayBypass);
    return 0;
}

int C_H61_BypassTool_Lanxus::DisableBypass()
{
    StopWatchdog();
    SetAllSegments(kRelayNormal);
    return 0;
}

int C_H61_BypassTool_Lanxus::IsSupportWDT() { return 1; }

int C_H61_BypassTool_Lanxus::ArmWithRelaysNormal(int nMode, int nSecond)
{
    // Both fields are stored before the hardware is touched, and the count
    // comes from the stored timeout.
    m_nBypassOnExpiry = nMode;
    m_nTimeoutSecond = nSecond;
    // The watchdog must not expire while the relays are being switched.
    StopWatchdog();
    SetAllSegments(kRelayNormal);
    ArmWatchdog(nMode, LanxusWdtCount(m_nTimeoutSecond));
    return 0;
}

void C_H61_BypassTool_Lanxus::StopWatchdog()
{
    RunLanxusSioSequence({
        {kLanxusWdtControl, 0x00},
        {kLanxusWdtConfig, kLanxusWdtStopped},
        {kLanxusWdtCountLow, 0x00},
        {kLanxusWdtCountHigh, 0x00},
    });
}

void C_H61_BypassTool_Lanxus::ArmWatchdog(int nMode, std::uint8_t byCount)
{
    // 0xF1 and 0xF4 set up what the board does on expiry; a restart arming
    // clears them.
    if (nMode == kLanxusArmBypass) {
        RunLanxusSioSequence({
            {kLanxusWdtControl, 0x00},
            {kLanxusWdtConfig, kLanxusWdtBypassOnExpiry},
            {kLanxusWdtCountLow, byCount},
            {kLanxusWdtCountHigh, 0x00},
            {0xF1, 0x44},
            {0xF4, 0x13},
        });
    } else {
        RunLanxusSioSequence({
            {kLanxusWdtControl, 0x00},
            {kLanxusWdtConfig, kLanxusWdtRestartOnExpiry},
            {kLanxusWdtCountLow, byCount},
            {kLanxusWdtCountHigh, 0x00},
            {0xF1, 0x00},
            {0xF4, 0x00},
        });
    }
}

void C_H61_BypassTool_Lanxus::InitRelayGpio()
{
    // The six controller lines become GPIO outputs at rest, driven high.
    UpdatePortWord(kGpioUseSelect0to15, 0, kRelayLines0to15);
    UpdatePortWord(kGpioUseSelect32to47, 0, kRelayLines32to47);
    UpdatePortWord(kGpioDirection0to15, kRelayLines0to15, 0);
    UpdatePortWord(kGpioDirection32to47, kRelayLines32to47, 0);
    UpdatePortWord(kGpioLevel0to15, 0, kRelayLines0to15);
    UpdatePortWord(kGpioLevel32to47, 0, kRelayLines32to47);
}

void C_H61_BypassTool_Lanxus::LatchSegmentRelay(int nSegment, int nState)
{
    // State and segment address go on the lines first, then the strobe is
    // pulsed low and high; the controller needs time after each edge.
    UpdatePortByte(kGpioLevel8to15, kStateLine, static_cast<std::uint8_t>(nState << kStateShift));
    UpdatePortByte(kGpioLevel40to47, kControllerLines,
        static_cast<std::uint8_t>((nSegment << kSegmentShift) | kControllerEnable));
    UpdatePortByte(kGpioLevel8to15, kStrobeLine, 0);
    IoDelay();
    UpdatePortByte(kGpioLevel8to15, 0, kStrobeLine);
    IoDelay();
    // Back to rest: all six lines high.
    UpdatePortWord(kGpioLevel0to15, 0, kRelayLines0to15);
    UpdatePortWord(kGpioLevel32to47, 0, kRelayLines32to47);
}

void C_H61_BypassTool_Lanxus::SetAllSegments(int nState)
{
    // The board's two segments always switch together.
    LatchSegmentRelay(0, nState);
    LatchSegmentRelay(1, nState);
}

void C_H61_BypassTool_Lanxus::IoDelay()
{
    for (int i = 0; i < kDelayWrites; ++i)
        outportb(kDelayPort, 0x00);
}
