#include "boards/msi/H61BypassToolMs.h"

#include "boards/PchGpio.h"
#include "boards/PortModify.h"
#include "boards/WatchdogReadback.h"
#include "boards/msi/MsiSio.h"
#include "portio/PortBackend.h"

#include <cstdio>
#include <string>

using namespace bypass;

namespace {

constexpr std::uint8_t kWdtDevice = 0x07;
constexpr std::uint8_t kRegWdtMode = 0xF0;
constexpr std::uint8_t kRegWdtControl = 0xF5;
// 0xF0 bits 7 and 0, set together when arming and cleared together when
// stopping; bit 7 lets the timeout out to its pin on Fintek-style chips.
constexpr std::uint8_t kModeArmed = 0x81;
constexpr std::uint8_t kEnabled = 0x20; // 0xF5 bit 5
constexpr std::uint8_t kExpired = 0x40; // 0xF5 bit 6

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
void ModifyRegister(std::uint8_t reg, std::uint8_t clear, std::uint8_t set)
{
    MsiSioWrite(reg, Modified(MsiSioRead(reg), clear, set));
}

void SelectWdtDevice() { MsiSioWrite(kMsiRegLogicalDevice, kWdtDevice); }

bool WdtExpired() { return (MsiSioRead(kRegWdtControl) & kExpired) != 0; }

void StopWdt()
{
    ModifyRegister(kRegWdtMode, kModeArmed, 0x00);
    // disable, and write the expiry status bit back as 1
    ModifyRegister(kRegWdtControl, kEnabled, kExpired);
}

void ArmWdt(std::uint8_t nTimeout)
{
    ModifyRegister(kRegWdtMode, 0x00, kModeArmed);
    // enable, and write the expiry status bit as 1
    ModifyRegister(kRegWdtControl, 0x00, kEnabled | kExpired);
    MsiSioWrite(kMsiRegCounter, nTimeout);
}

// Makes PCH GPIO line nGpio (0-63) an output and drives it to nLevel (0 or 1).
void SetPchGpio(int nGpio, int nLevel)
{
    const PchGpioBank& bank = kPchGpioBanks[nGpio / 32];
    const int offset = (nGpio % 32) / 8;
    const std::uint8_t mask = static_cast<std::uint8_t>(1 << (nGpio % 8));
    ModifyPortByte(static_cast<std::uint16_t>(bank.select + offset), 0x00, mask);
    ModifyPortByte(static_cast<std::uint16_t>(bank.direction + offset), mask, 0x00);
    ModifyPortByte(static_cast<std::uint16_t>(bank.level + offset), mask, nLevel ? mask : 0x00);
}

// Latches data lines A and B into relay segment 0, then segment 1.
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

// Back to normal with the watchdog set for bypass. A relay controller whose
// watchdog expired is latched to bypass once first.
void LatchNormal(bool expired)
{
    if (expired)
        WriteRelayState(1, 1);
    WriteRelayState(1, 0);
}

} // namespace

C_H61_BypassTool_MS::C_H61_BypassTool_MS(int nBypassType)
    : CMsiSioBypassTool(nBypassType, {0, 0})
{
}

int C_H61_BypassTool_MS::DisableWDT()
{
    MsiConfigMode sio;
    StopWdt();
    return 0;
}

void C_H61_BypassTool_MS::ApplyBypassMode(int nMode, std::uint8_t nTimeout)
{
    SelectWdtDevice();
    switch (nMode) {
    case kMsiBypassNow:
        StopWdt();
        WriteRelayState(1, 1);
        break;
    case kMsiNormal: {
        // the expiry status is taken before stopping, which writes it back as 1
        const bool expired = WdtExpired();
        StopWdt();
        LatchNormal(expired);
        break;
    }
    case kMsiArmForRestart:
        WriteRelayState(0, 0);
        ArmWdt(nTimeout);
        break;
    case kMsiArmForBypass:
        LatchNormal(WdtExpired());
        ArmWdt(nTimeout);
        break;
    default:
        break;
    }
}

// The counter is not read: this chip is not known to count it down. The
// watchdog runs only while the device is active (0x30 bit 0) as well as
// enabled, as f71808e_wdt.c sets it up.
WatchdogReadback bypass::H61MsReadWatchdog()
{
    MsiConfigMode sio;
    const std::uint8_t selected = MsiSioRead(kMsiRegLogicalDevice);
    SelectWdtDevice();
    const bool active = (MsiSioRead(kMsiRegActivate) & kMsiDeviceActive) != 0;
    const std::uint8_t control = MsiSioRead(kRegWdtControl);
    MsiSioWrite(kMsiRegLogicalDevice, selected);
    return {
        active && (control & kEnabled) != 0, std::nullopt, std::nullopt, (control & kExpired) != 0};
}

void C_H61_BypassTool_MS::GetCurDesc(char* pszDesc)
{
    unsigned mode = 0;
    unsigned control = 0;
    unsigned counter = 0;
    {
        MsiConfigMode sio;
        SelectWdtDevice();
        mode = MsiSioRead(kRegWdtMode);
        control = MsiSioRead(kRegWdtControl);
        counter = MsiSioRead(kMsiRegCounter);
    }
    std::sprintf(pszDesc, "0xf0=%x,0xf5=%x,0xf6=%x", mode, control, counter);
}

std::string bypass::H61MsDescriptionInWords(const char* description)
{
    unsigned mode = 0, control = 0, counter = 0;
    char end = 0;
    if (std::sscanf(description, "0xf0=%x,0xf5=%x,0xf6=%x%c", &mode, &control, &counter, &end) != 3)
        return "";
    const char* routing = (mode & kModeArmed) == kModeArmed ? "armed (0xF0 bits 7 and 0 set)"
        : (mode & kModeArmed) == 0                          ? "not armed (0xF0 bits 7 and 0 clear)"
                                   : "half armed (0xF0 bits 7 and 0 differ)";
    return std::string(routing)
        + ((control & kEnabled) ? ", watchdog enabled (0xF5 bit 5 set)"
                                : ", watchdog disabled (0xF5 bit 5 clear)")
        + ((control & kExpired) ? ", expired (0xF5 bit 6 set)" : ", not expired (0xF5 bit 6 clear)")
        + ", count " + std::to_string(counter) + " (0xF6)";
}
