#include "boards/msi/MsiSio.h"

#include "boards/PortModify.h"
#include "boards/WatchdogReadback.h"
#include "portio/PortBackend.h"

namespace bypass {
namespace {

constexpr std::uint16_t kIndexPort = 0x4E;
constexpr std::uint16_t kDataPort = 0x4F;

constexpr std::uint8_t kEntryKey = 0x87;
constexpr std::uint8_t kExitKey = 0xAA;

constexpr std::uint8_t kRegMultiFunction = 0x2D;
constexpr std::uint8_t kRegExpiryAction = 0xF5;
constexpr std::uint8_t kRegControl = 0xF7;

constexpr std::uint8_t kWdtDevice = 0x08;
constexpr std::uint8_t kTimeoutStatus = 0x10; // 0xF7 bit 4
constexpr std::uint8_t kForceExpiry = 0x20;   // 0xF7 bit 5
constexpr std::uint8_t kCountMinutes = 0x08;  // 0xF5 bit 3

constexpr std::uint16_t kLatchGatePort = 0x48C;
constexpr std::uint8_t kLatchGate = 0x80;

constexpr unsigned kStrobeHighMs = 150;
constexpr unsigned kStrobeSettleMs = 100;

// Raises the latch strobe (mask on port) for 150 ms, then lowers it and
// lets the relays settle for 100 ms.
void PulseLatchStrobe(std::uint16_t port, std::uint8_t mask)
{
    const std::uint8_t raised = static_cast<std::uint8_t>(inportb(port) | mask);
    outportb(port, raised);
    SleepMs(kStrobeHighMs);
    // the strobe is released from the value written, not re-read
    outportb(port, static_cast<std::uint8_t>(raised & ~mask));
    SleepMs(kStrobeSettleMs);
}

} // namespace

std::uint8_t MsiTimeoutByte(int nSecond) { return static_cast<std::uint8_t>(nSecond); }

void MsiSioEnter()
{
    outportb(kIndexPort, kEntryKey);
    outportb(kIndexPort, kEntryKey);
}

void MsiSioExit() { outportb(kIndexPort, kExitKey); }

std::uint8_t MsiSioRead(std::uint8_t reg)
{
    outportb(kIndexPort, reg);
    return inportb(kDataPort);
}

void MsiSioWrite(std::uint8_t reg, std::uint8_t value)
{
    outportb(kIndexPort, reg);
    outportb(kDataPort, value);
}

void MsiSioModify(std::uint8_t reg, std::uint8_t clear, std::uint8_t set)
{
    outportb(kIndexPort, reg);
    outportb(kDataPort, Modified(inportb(kDataPort), clear, set));
}

void MsiSelectWdtDevice()
{
    // bit 0 of 0x2D must be clear before the watchdog device is reachable
    MsiSioModify(kRegMultiFunction, 0x01, 0x00);
    MsiSioWrite(kMsiRegLogicalDevice, kWdtDevice);
}

void MsiClearWdtStatus() { MsiSioModify(kRegControl, kTimeoutStatus, 0x00); }

void MsiForceWdtExpiry() { MsiSioModify(kRegControl, 0x00, kForceExpiry); }

void MsiStopWdtCounter()
{
    MsiClearWdtStatus();
    MsiSioWrite(kMsiRegCounter, 0x00);
}

void MsiArmWdt(std::uint8_t expiryAction, std::uint8_t timeout)
{
    MsiClearWdtStatus();
    MsiSioWrite(kMsiRegActivate, kMsiDeviceActive);
    MsiSioWrite(kRegExpiryAction, expiryAction);
    MsiSioWrite(kMsiRegCounter, timeout);
}

int MsiDisableWDT()
{
    MsiConfigMode sio;
    MsiClearWdtStatus();
    MsiSioWrite(kMsiRegActivate, 0x00);
    return 0;
}

int MsiEnableWDT(int nSecond)
{
    // reloads the counter only: a deactivated device stays deactivated
    MsiConfigMode sio;
    MsiSioWrite(kMsiRegCounter, MsiTimeoutByte(nSecond));
    return 0;
}

WatchdogReadback MsiReadWatchdog()
{
    MsiConfigMode sio;
    const std::uint8_t selected = MsiSioRead(kMsiRegLogicalDevice);
    MsiSioWrite(kMsiRegLogicalDevice, kWdtDevice);
    const bool active = (MsiSioRead(kMsiRegActivate) & kMsiDeviceActive) != 0;
    const std::uint8_t action = MsiSioRead(kRegExpiryAction);
    const long unit = (action & kCountMinutes) ? 60 : 1;
    const long count = MsiSioRead(kMsiRegCounter);
    const bool expired = (MsiSioRead(kRegControl) & kTimeoutStatus) != 0;
    MsiSioWrite(kMsiRegLogicalDevice, selected);
    // 0xF6 = 0 stops the counter (w83627hf_wdt.c and FreeBSD's wbwd.c stop
    // the watchdog so): then nothing runs and no time is left to tell.
    const bool enabled = active && count != 0;
    WatchdogReadback chip{enabled, std::nullopt, std::nullopt, expired};
    chip.restarts = (action & kMsiExpiryRestart) != 0;
    if (enabled)
        chip.secondsLeft = count * unit;
    chip.secondsLeftUnit = unit;
    // wbwd.c: "in case we fired before we need to clear to fire again".
    chip.firesAgainOnlyOnceCleared = "0xF7 bit 4";
    return chip;
}

int MsiSelectedDevice()
{
    MsiConfigMode sio;
    return MsiSioRead(kMsiRegLogicalDevice);
}

std::uint8_t MsiMoveBit(int value, int from, int to)
{
    return static_cast<std::uint8_t>(((value >> from) & 1) << to);
}

bool MsiLatchGateOpen() { return (inportb(kLatchGatePort) & kLatchGate) != 0; }

void MsiLatchRelayState(const MsiLatchLines& lines, int nBypass)
{
    ModifyPortByte(lines.dataPort, 0x08, MsiMoveBit(nBypass, 0, 3) | lines.enables);
    SleepMs(lines.setupMs);
    PulseLatchStrobe(lines.strobePort, lines.strobe);
}

} // namespace bypass
