#include "boards/msi/H61BypassToolMs.h"

#include "boards/msi/MsiSio.h"
#include "portio/PortBackend.h"

#include <cstdio>

using namespace bypass;

namespace {

constexpr std::uint8_t kRegLogicalDevice = 0x07;
constexpr std::uint8_t kWdtDevice = 0x07;
constexpr std::uint8_t kRegWdtMode = 0xF0;
constexpr std::uint8_t kRegWdtControl = 0xF5;
constexpr std::uint8_t kRegCounter = 0xF6;
constexpr std::uint8_t kExpired = 0x40; // 0xF5 bit 6

// One bank of 32 PCH GPIO lines: select (1 = GPIO), direction (0 = output)
// and level registers, one bit per line.
struct GpioBank {
    std::uint16_t select;
    std::uint16_t direction;
    std::uint16_t level;
};
constexpr GpioBank kGpioBanks[] = {
    {0x500, 0x504, 0x50C}, // lines 0-31
    {0x530, 0x534, 0x538}, // lines 32-63
};

// Relay controller lines.
constexpr int kAddress0 = 44;
constexpr int kAddress1 = 45;
constexpr int kSegmentSelect = 46;
constexpr int kLineA = 42;
constexpr int kLineB = 9;
constexpr int kLatchEnable = 43;
constexpr int kStrobe = 14;
constexpr unsigned kStrobeMs = 200;

// Read-modify-write through MsiSioRead and MsiSioWrite: this chip gets the
// index again before the write.
void ModifyRegister(std::uint8_t reg, std::uint8_t keep, std::uint8_t set)
{
    MsiSioWrite(reg, static_cast<std::uint8_t>((MsiSioRead(reg) & keep) | set));
}

void SelectWdtDevice() { MsiSioWrite(kRegLogicalDevice, kWdtDevice); }

bool WdtExpired() { return (MsiSioRead(kRegWdtControl) & kExpired) != 0; }

void StopWdt()
{
    ModifyRegister(kRegWdtMode, 0x7E, 0x00);
    // disable, and write the expiry status bit back as 1
    ModifyRegister(kRegWdtControl, 0xDF, kExpired);
}

void ArmWdt(int nSecond)
{
    ModifyRegister(kRegWdtMode, 0xFF, 0x81);
    ModifyRegister(kRegWdtControl, 0xFF, 0x60);
    MsiSioWrite(kRegCounter, MsiTimeoutByte(nSecond));
}

// Back to normal with the watchdog set for bypass. A relay controller whose
// watchdog expired is latched to bypass once first.
void LatchNormal(bool expired)
{
    if (expired)
        WriteRelayState(1, 1);
    WriteRelayState(1, 0);
}

} // namespace

namespace bypass {

void SetPchGpio(int nGpio, int nLevel)
{
    if (nGpio < 0 || nGpio > 63)
        return;
    const GpioBank& bank = kGpioBanks[nGpio / 32];
    const int offset = (nGpio % 32) / 8;
    const std::uint8_t mask = static_cast<std::uint8_t>(1 << (nGpio % 8));
    const std::uint8_t others = static_cast<std::uint8_t>(~mask);
    MsiModifyPort(static_cast<std::uint16_t>(bank.select + offset), 0xFF, mask);
    MsiModifyPort(static_cast<std::uint16_t>(bank.direction + offset), others, 0x00);
    const auto level = static_cast<std::uint16_t>(bank.level + offset);
    if (nLevel == 0)
        MsiModifyPort(level, others, 0x00);
    else if (nLevel == 1)
        MsiModifyPort(level, 0xFF, mask);
}

void WriteRelayState(int nLineA, int nLineB)
{
    for (int segment = 0; segment < 2; ++segment) {
        SetPchGpio(kAddress0, 0);
        SetPchGpio(kAddress1, 0);
        SetPchGpio(kSegmentSelect, segment);
        SetPchGpio(kLineA, nLineA);
        SetPchGpio(kLineB, nLineB);
        SetPchGpio(kLatchEnable, 1);
        SetPchGpio(kStrobe, 1);
        SleepMs(kStrobeMs);
        SetPchGpio(kStrobe, 0);
    }
}

} // namespace bypass

C_H61_BypassTool_MS::C_H61_BypassTool_MS(int nBypassType)
    : CBypassTool(nBypassType)
{
}

int C_H61_BypassTool_MS::DisableWDT()
{
    MsiSioEnter();
    StopWdt();
    MsiSioExit();
    return 0;
}

// The counter reload is the same register write as on the device-8 boards.
int C_H61_BypassTool_MS::EnableWDT() { return MsiEnableWDT(*this); }

int C_H61_BypassTool_MS::SetWDTTimeout_Bypass(int, int nSecond)
{
    m_nTimeoutSecond = nSecond;
    MsiSioEnter();
    SelectWdtDevice();
    LatchNormal(WdtExpired());
    ArmWdt(nSecond);
    MsiSioExit();
    return 0;
}

int C_H61_BypassTool_MS::SetWDTTimeout_ResartSys(int, int nSecond)
{
    m_nTimeoutSecond = nSecond;
    MsiSioEnter();
    SelectWdtDevice();
    WriteRelayState(0, 0);
    ArmWdt(nSecond);
    MsiSioExit();
    return 0;
}

int C_H61_BypassTool_MS::EnableBypass()
{
    MsiSioEnter();
    SelectWdtDevice();
    StopWdt();
    WriteRelayState(1, 1);
    MsiSioExit();
    return 0;
}

int C_H61_BypassTool_MS::DisableBypass()
{
    MsiSioEnter();
    SelectWdtDevice();
    // the expiry status is taken before stopping, which writes it back as 1
    const bool expired = WdtExpired();
    StopWdt();
    LatchNormal(expired);
    MsiSioExit();
    return 0;
}

int C_H61_BypassTool_MS::IsSupportWDT() { return 1; }

void C_H61_BypassTool_MS::GetCurDesc(char* pszDesc)
{
    MsiSioEnter();
    SelectWdtDevice();
    const unsigned mode = MsiSioRead(kRegWdtMode);
    const unsigned control = MsiSioRead(kRegWdtControl);
    const unsigned counter = MsiSioRead(kRegCounter);
    MsiSioExit();
    std::sprintf(pszDesc, "0xf0=%x,0xf5=%x,0xf6=%x", mode, control, counter);
}
