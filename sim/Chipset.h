// Chipset GPIO as the boards wire their relays to it.
#pragma once

#include "sim/SimDevice.h"
#include "sim/SuperIo.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace bypass::sim {

struct BankLayout;

// A GPIO block of 64 lines in the Intel ICH/PCH layout at a base port:
// use select (1 = GPIO) at +0x00 and +0x30, direction (0 = output) at +0x04
// and +0x34, level at +0x0C and +0x38 (lines 0-31, then 32-63), four bytes
// each, in 8-, 16- or 32-bit views. A GPIO output drives the level last
// written to it and reads it back; a GPIO input reads what its pin sees (the
// board's pull-down holds an unconnected one at 0) and ignores writes, which
// break the rule that a line is made an output before it is driven. A line
// not given to GPIO reads 0.
class GpioBank : public RegisterFile {
public:
    // Hears every write with the driven levels of all 64 lines before and
    // after it.
    using Watcher
        = std::function<void(std::uint32_t port, std::uint64_t before, std::uint64_t after)>;

    explicit GpioBank(std::uint16_t base);

    std::uint32_t Read(std::uint32_t port, unsigned width) override;
    void Write(std::uint32_t port, unsigned width, std::uint32_t value) override;
    // The level of every line as the board sees it.
    std::uint64_t Levels() const;
    // Sets up a line as the firmware leaves it: a GPIO output at level.
    void DriveAtPowerOn(unsigned line, bool level);
    // Sets up a line as a GPIO input that the board holds at level.
    void InputAtPowerOn(unsigned line, bool level);
    void WatchLines(Watcher watcher) { m_watcher = std::move(watcher); }
    // Hangs a latch on the lines: at the rising edge of the strobe line it
    // takes the levels of all lines. Those in inputs must have settled in an
    // earlier write; changing one with the edge breaks the latch's timing.
    void WatchLatch(
        unsigned strobe, std::uint64_t inputs, std::function<void(std::uint64_t levels)> latched);

private:
    std::uint64_t Bank(unsigned BankLayout::*reg) const;
    void SetBit(unsigned BankLayout::*reg, unsigned line, bool value);
    // The first line of a level register byte, or -1 for other ports.
    int FirstLevelLine(std::uint32_t port) const;
    void WriteLevelByte(std::uint32_t port, unsigned firstLine, std::uint8_t value);

    std::uint16_t m_base;
    std::uint64_t m_inputPins = 0;
    Watcher m_watcher;
};

// The simple-I/O data ports of an IT87 chip: pin set n at base + n - 1.
// A pin drives its bit only when the chip configures it as a GPIO output;
// otherwise it floats high on its pull-up, reads so, and ignores writes,
// which break the rule that a pin is made an output before it is driven.
class Ite87SimpleIo : public RegisterFile {
public:
    Ite87SimpleIo(const Ite87Chip& chip, std::uint16_t base);

    std::uint32_t Read(std::uint32_t port, unsigned width) override;
    void Write(std::uint32_t port, unsigned width, std::uint32_t value) override;
    bool Pin(unsigned set, std::uint8_t mask) const;

private:
    std::uint8_t Outputs(unsigned set) const;
    std::uint8_t Pins(unsigned set) const;

    const Ite87Chip& m_chip;
    std::uint16_t m_base;
};

} // namespace bypass::sim
