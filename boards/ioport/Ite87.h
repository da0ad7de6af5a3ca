// Configuration access to the ITE IT87-series Super I/O that several of
// these boards carry at index port 0x2E and data port 0x2F. The boards
// differ in how they pace the accesses, so each tool builds its own register
// access from these steps and passes its pause (0 for none).
#pragma once

#include <cstdint>

namespace bypass::ite {

constexpr std::uint16_t kIndexPort = 0x2E;
constexpr std::uint16_t kDataPort = 0x2F;

// Registers common to all logical devices.
constexpr std::uint8_t kConfigControl = 0x02;
constexpr std::uint8_t kLeaveConfigBit = 0x02;
constexpr std::uint8_t kDeviceSelect = 0x07;
// Logical device 7: watchdog and GPIO configuration.
constexpr std::uint8_t kGpioWatchdogDevice = 0x07;
constexpr std::uint8_t kPinFunctionSet2 = 0x26;
constexpr std::uint8_t kPinFunctionSet4 = 0x28;
constexpr std::uint8_t kPinFunctionSet5 = 0x29;
constexpr std::uint8_t kWatchdogControl = 0x71;
constexpr std::uint8_t kWatchdogConfig = 0x72;
constexpr std::uint8_t kWatchdogTimeoutLow = 0x73;
constexpr std::uint8_t kWatchdogTimeoutHigh = 0x74;
constexpr std::uint8_t kPullUpSet2 = 0xB9;
constexpr std::uint8_t kSimpleIoSet2 = 0xC1;
constexpr std::uint8_t kSimpleIoSet4 = 0xC3;
constexpr std::uint8_t kSimpleIoSet5 = 0xC4;
constexpr std::uint8_t kOutputEnableSet2 = 0xC9;
constexpr std::uint8_t kOutputEnableSet4 = 0xCB;
constexpr std::uint8_t kOutputEnableSet5 = 0xCC;

// Sleeps gapMs, or not at all for 0.
void Pause(unsigned gapMs);

// Writes the entry key 87 01 55 55 to the index port, pausing gapMs after
// each of the first three bytes: the chip enters configuration mode.
void WriteConfigKey(unsigned gapMs);

// Points the index port at reg, pauses gapMs, writes value to the data port.
void WriteIndexed(std::uint8_t reg, std::uint8_t value, unsigned gapMs);

// Points the index port at reg, pauses gapMs, reads the data port.
std::uint8_t ReadIndexed(std::uint8_t reg, unsigned gapMs);

// Leaves configuration mode by writing the exit bit alone, without reading
// the register first.
void LeaveConfig();

} // namespace bypass::ite
