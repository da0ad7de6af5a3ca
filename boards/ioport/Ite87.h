// Configuration access to the ITE IT87-series Super I/O that the Q35,
// D525-NEXCOM, D525-LW, H61-LANXUS and D525-LANXUS boards carry at index
// port 0x2E and data port 0x2F. Registers and bits carry the chip's names.
// The boards pace their accesses differently, so each passes its Pacing.
#pragma once

#include <cstdint>

namespace bypass {
struct WatchdogReadback;
}

namespace bypass::ite {

constexpr std::uint16_t kIndexPort = 0x2E;
constexpr std::uint16_t kDataPort = 0x2F;

// Global registers.
constexpr std::uint8_t kConfigControl = 0x02;
constexpr std::uint8_t kLeaveConfigBit = 0x02;
constexpr std::uint8_t kDeviceSelect = 0x07;
constexpr std::uint8_t kChipIdHigh = 0x20;
constexpr std::uint8_t kChipIdLow = 0x21;
constexpr std::uint8_t kChipRevision = 0x22; // bits 3-0
constexpr std::uint8_t kPinFunctionSet2 = 0x26;
constexpr std::uint8_t kPinFunctionSet4 = 0x28;
constexpr std::uint8_t kPinFunctionSet5 = 0x29;

// Logical device 7: GPIO and watchdog.
constexpr std::uint8_t kGpioWatchdogDevice = 0x07;
constexpr std::uint8_t kWatchdogControl = 0x71;
constexpr std::uint8_t kWatchdogConfig = 0x72;
constexpr std::uint8_t kWatchdogTimeoutLow = 0x73;
constexpr std::uint8_t kWatchdogTimeoutHigh = 0x74;
constexpr std::uint8_t kPullUpSet2 = 0xB9;
constexpr std::uint8_t kPullUpSet4 = 0xBB;
constexpr std::uint8_t kSimpleIoSet2 = 0xC1;
constexpr std::uint8_t kSimpleIoSet4 = 0xC3;
constexpr std::uint8_t kSimpleIoSet5 = 0xC4;
constexpr std::uint8_t kOutputEnableSet2 = 0xC9;
constexpr std::uint8_t kOutputEnableSet4 = 0xCB;
constexpr std::uint8_t kOutputEnableSet5 = 0xCC;
constexpr std::uint8_t kSmiControl2 = 0xF1;
constexpr std::uint8_t kSmiPinMapping = 0xF4;

// Watchdog control register bits: the timeout status, set when the count
// runs out; an interrupt of the CIR receiver reloads the counter.
constexpr std::uint8_t kTimeoutStatus = 0x01;
constexpr std::uint8_t kReloadOnCirInterrupt = 0x80;

// Watchdog configuration register bits. Without kCountInSeconds the
// timeout registers count minutes, so every arming of these boards sets it.
constexpr std::uint8_t kCountInSeconds = 0x80;
constexpr std::uint8_t kResetOnExpiry = 0x40; // expiry pulses KRST#: the system restarts
constexpr std::uint8_t kCountIn64Ms = 0x20;   // with kCountInSeconds: units of 64 ms
constexpr std::uint8_t kPwrOkOnExpiry = 0x10; // expiry is also signalled on PWROK

// How a board paces its configuration traffic.
struct Pacing {
    unsigned keyGapMs = 0;    // after each entry key byte but the last
    unsigned accessGapMs = 0; // between the index and the data access
    // Leave by setting the exit bit in the control byte as read, rather than
    // by writing the bit alone.
    bool leaveKeepsControl = false;
};

// Whether the chip of this ID (0x20, 0x21) and revision (0x22) has the
// 16-bit watchdog count, judged as it87_wdt.c does: the IT8702 and the
// IT8712 before revision 8 count 8 bits in 0x73 and have no 0x74.
bool SixteenBitCount(unsigned chipId, unsigned revision);

// Sleeps ms, or not at all for 0.
void Pause(unsigned ms);

// Configuration mode for the lifetime of the object: the entry key
// 87 01 55 55 on construction, the exit bit on destruction, so no path
// leaves the chip in configuration mode.
class ConfigMode {
public:
    explicit ConfigMode(const Pacing& pacing = Pacing{});
    ~ConfigMode();
    ConfigMode(const ConfigMode&) = delete;
    ConfigMode& operator=(const ConfigMode&) = delete;

    void SelectDevice(std::uint8_t device);
    void Write(std::uint8_t reg, std::uint8_t value);
    std::uint8_t Read(std::uint8_t reg);

private:
    Pacing m_pacing;
};

// The watchdog as the chip tells it: the timeout status and the count it
// was programmed with (the chip counts down inside, and the timeout
// registers read back what was written), in one pass through configuration
// mode that writes only the device selection and puts it back. The high
// byte 0x74 is read only where SixteenBitCount says the chip holds it.
WatchdogReadback ReadWatchdog(const Pacing& pacing);

} // namespace bypass::ite
