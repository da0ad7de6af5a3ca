#include "boards/lanxus/D525BypassToolLanxus.h"

#include "boards/lanxus/LanxusGpio.h"
#include "boards/lanxus/LanxusSio.h"

using namespace bypass;

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

} // namespace

C_D525_BypassTool_Lanxus::C_D525_BypassTool_Lanxus(int nBypassType)
    : CBypassTool(nBypassType)
    , m_nBypassOnExpiry(1)
{
}

int C_D525_BypassTool_Lanxus::init()
{
    // The result reflects only the opening: the hardware steps are tried
    // either way, and each failed access reports itself. This board sets up
    // its GPIO lines before it stops the watchdog.
    const int opened = CBypassTool::init();
    InitRelayGpio();
    StopWatchdog();
    return opened;
}

int C_D525_BypassTool_Lanxus::DisableWDT()
{
    StopWatchdog();
    return 0;
}

int C_D525_BypassTool_Lanxus::EnableWDT()
{
    ReloadLanxusWDT(m_nTimeoutSecond);
    return 0;
}

int C_D525_BypassTool_Lanxus::SetWDTTimeout_Bypass(int, int nSecond)
{
    return ArmWithRelayNormal(kLanxusArmBypass, nSecond);
}

int C_D525_BypassTool_Lanxus::SetWDTTimeout_ResartSys(int, int nSecond)
{
    return ArmWithRelayNormal(kLanxusArmRestart, nSecond);
}

int C_D525_BypassTool_Lanxus::EnableBypass()
{
    StopWatchdog();
    SetRelayBypass();
    RaiseRelayControl();
    return 0;
}

int C_D525_BypassTool_Lanxus::DisableBypass()
{
    StopWatchdog();
    SetRelayNormal();
    RaiseRelayControl();
    return 0;
}

int C_D525_BypassTool_Lanxus::IsSupportWDT() { return 1; }

int C_D525_BypassTool_Lanxus::ArmWithRelayNormal(int nMode, int nSecond)
{
    // Both fields are stored before the hardware is touched, and the count
    // comes from the stored timeout.
    m_nBypassOnExpiry = nMode;
    m_nTimeoutSecond = nSecond;
    // The watchdog must not expire while the relay is being switched.
    StopWatchdog();
    SetRelayNormal();
    RaiseRelayControl();
    ArmWatchdog(nMode, LanxusWdtCount(m_nTimeoutSecond));
    return 0;
}

void C_D525_BypassTool_Lanxus::StopWatchdog()
{
    RunLanxusSioSequence({
        {kLanxusWdtControl, 0x80},
        {kLanxusWdtConfig, kLanxusWdtStopped},
        {kLanxusWdtCountLow, 0x00},
        {kLanxusWdtCountHigh, 0x00},
    });
}

void C_D525_BypassTool_Lanxus::ArmWatchdog(int nMode, std::uint8_t byCount)
{
    if (nMode == kLanxusArmBypass) {
        // Only this arming writes the global register 0x28 and the device
        // registers 0xBB, 0xF1 and 0xF4, ahead of the count; stopping and
        // restart arming leave them as written here.
        RunLanxusSioSequence({
            {kLanxusWdtControl, 0x80},
            {kLanxusWdtConfig, kLanxusWdtBypassOnExpiry},
            {0x28, 0xC3},
            {0xBB, 0x01},
            {0xF1, 0x44},
            {0xF4, 0x21},
            {kLanxusWdtCountLow, byCount},
            {kLanxusWdtCountHigh, 0x00},
        });
    } else {
        RunLanxusSioSequence({
            {kLanxusWdtControl, 0x00},
            {kLanxusWdtConfig, kLanxusWdtRestartOnExpiry},
            {kLanxusWdtCountLow, byCount},
            {kLanxusWdtCountHigh, 0x00},
        });
    }
}

void C_D525_BypassTool_Lanxus::InitRelayGpio()
{
    // Only use select and direction change here; no level is written.
    UpdatePortByte(kGpioUseSelect8, 0, kOutputLines8);
    UpdatePortByte(kGpioDirection8, kOutputLines8, 0);
    UpdatePortByte(kGpioUseSelect24, 0, kOutputLines24);
    UpdatePortByte(kGpioDirection24, kOutputLines24, 0);
    UpdatePortByte(kGpioUseSelect40, 0, kOutputLines40);
    UpdatePortByte(kGpioDirection40, kOutputLines40, 0);
}

void C_D525_BypassTool_Lanxus::SetRelayBypass() { UpdatePortByte(kGpioLevel8, kRelayLine, 0); }

void C_D525_BypassTool_Lanxus::SetRelayNormal() { UpdatePortByte(kGpioLevel8, 0, kRelayLine); }

void C_D525_BypassTool_Lanxus::RaiseRelayControl()
{
    UpdatePortByte(kGpioLevel8, 0, kRelayControlLines);
}
