// What the MSI boards share: the configuration protocol of their Super I/O
// chip at ports 0x4E/0x4F, the watchdog of its logical device 8, and the
// pieces of the chipset GPIO relay latch that the G41-MS and D525-MS boards
// have in common.
//
// None of the register helpers enters or leaves configuration mode except
// MsiDisableWDT, MsiEnableWDT, MsiReadWatchdog and MsiSelectedDevice: the
// caller holds an MsiConfigMode.
#pragma once

#include <cstdint>

namespace bypass {

struct WatchdogReadback;

// ApplyBypassMode's modes, one per slot.
enum MsiBypassMode {
    kMsiBypassNow = 0,     // EnableBypass
    kMsiNormal = 1,        // DisableBypass
    kMsiArmForRestart = 2, // SetWDTTimeout_ResartSys
    kMsiArmForBypass = 3,  // SetWDTTimeout_Bypass
};

// Global register 0x07 selects the logical device; 0xF6 of the watchdog's
// device is its counter on every MSI board.
constexpr std::uint8_t kMsiRegLogicalDevice = 0x07;
constexpr std::uint8_t kMsiRegCounter = 0xF6;
// Bit 0 of register 0x30 activates the selected logical device.
constexpr std::uint8_t kMsiRegActivate = 0x30;
constexpr std::uint8_t kMsiDeviceActive = 0x01;

// Expiry actions of device 8, register 0xF5.
constexpr std::uint8_t kMsiExpiryRestart = 0x02;
constexpr std::uint8_t kMsiExpiryBypass = 0x00;

// The counter takes the low 8 bits of the seconds as they are: 256 becomes
// 0 (which stops it) and -1 becomes 0xFF.
std::uint8_t MsiTimeoutByte(int nSecond);

// Configuration mode: two entry keys, one exit key, both on the index port.
void MsiSioEnter();
void MsiSioExit();

// Configuration mode for the lifetime of the object, so that no path leaves
// the chip in it.
class MsiConfigMode {
public:
    MsiConfigMode() { MsiSioEnter(); }
    ~MsiConfigMode() { MsiSioExit(); }
    MsiConfigMode(const MsiConfigMode&) = delete;
    MsiConfigMode& operator=(const MsiConfigMode&) = delete;
};

// One register access each: the index, then the data port.
std::uint8_t MsiSioRead(std::uint8_t reg);
void MsiSioWrite(std::uint8_t reg, std::uint8_t value);

// Read-modify-write naming the register once, with the masks of Modified.
void MsiSioModify(std::uint8_t reg, std::uint8_t clear, std::uint8_t set);

// Device 8 registers. The selection clears bit 0 of 0x2D first.
void MsiSelectWdtDevice();
void MsiClearWdtStatus();
// Sets the force-expiry bit, so the watchdog expires at once.
void MsiForceWdtExpiry();
// Clears the timeout status and zeroes the counter.
void MsiStopWdtCounter();
// Clears the timeout status, activates the device and loads action and count.
void MsiArmWdt(std::uint8_t expiryAction, std::uint8_t timeout);

// DisableWDT of the device-8 boards and EnableWDT of every MSI board (with
// the stored timeout), each a whole pass through configuration mode on
// whatever logical device is selected. They answer 0.
int MsiDisableWDT();
int MsiEnableWDT(int nSecond);

// The device-8 watchdog as the chip holds it: whether the device is active,
// the counter (which counts down, in minutes where 0xF5 bit 3 says so) and
// the timeout status. One pass through configuration mode that writes only
// the device selection, and puts back the device it found selected.
WatchdogReadback MsiReadWatchdog();

// The logical device the chip has selected (global register 0x07), which
// the boards' DisableWDT acts on. One pass through configuration mode that
// writes no register.
int MsiSelectedDevice();

// Bit `from` of value, moved to bit `to` of a port byte.
std::uint8_t MsiMoveBit(int value, int from, int to);

// The relay latch of the G41-MS and D525-MS boards goes ahead only while
// bit 7 of chipset GPIO port 0x48C reads 1.
bool MsiLatchGateOpen();

// Where a board's relay latch takes the relay state and the strobe.
struct MsiLatchLines {
    std::uint16_t dataPort; // the relay state goes to bit 3
    std::uint8_t enables;   // latch enable bits of the data port, set by every latch
    unsigned setupMs;       // the state settles this long before the strobe
    std::uint16_t strobePort;
    std::uint8_t strobe;
};

// The end of a latch cycle, once the segment's address is on the lines: the
// relay state (1 bypass) and the enables on the data port, the set-up pause,
// then the strobe raised for 150 ms and lowered, and 100 ms for the relays
// to settle.
void MsiLatchRelayState(const MsiLatchLines& lines, int nBypass);

// The mode sequences of the boards whose relays sit behind the GPIO latch,
// with device 8 selected first in every mode. latchRelays(nBypass) latches
// the board's segments to bypass (1) or normal (0).
template <class LatchRelays>
void MsiApplyLatchedMode(int nMode, std::uint8_t nTimeout, LatchRelays latchRelays)
{
    MsiSelectWdtDevice();
    switch (nMode) {
    case kMsiBypassNow:
        MsiForceWdtExpiry();
        latchRelays(1);
        break;
    case kMsiNormal:
        MsiStopWdtCounter();
        latchRelays(0);
        break;
    case kMsiArmForRestart:
        // the relays go back to normal before the watchdog is armed
        latchRelays(0);
        MsiArmWdt(kMsiExpiryRestart, nTimeout);
        break;
    case kMsiArmForBypass:
        latchRelays(0);
        MsiArmWdt(kMsiExpiryBypass, nTimeout);
        break;
    default:
        break;
    }
}

} // namespace bypass
