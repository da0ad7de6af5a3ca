// Chipset GPIO as the boards wire their relays to it.
#pragma once

#include "sim/SimDevice.h"
#include "sim/SuperIo.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace bypass::sim {

// One GPIO line of a bank of byte registers: a port and a bit mask.
struct PortBit {
    std::uint32_t port;
    std::uint8_t mask;
};

// A relay latch hung on chipset GPIO level bytes: when the strobe line
// rises, the latch takes the segment address and the relay data from their
// lines. The gate line is an input the latch drives to 1 when it is ready.
class RelayLatch : public RegisterFile {
public:
    using Latched = std::function<void(unsigned segment, bool bypass)>;

    RelayLatch(std::initializer_list<std::pair<const std::uint32_t, std::uint8_t>> powerOn,
        PortBit strobe, std::vector<PortBit> address, PortBit data, Latched latched);

    void Write(std::uint32_t port, unsigned width, std::uint32_t value) override;

private:
    unsigned Address() const;

    PortBit m_strobe;
    std::vector<PortBit> m_address;
    PortBit m_data;
    Latched m_latched;
};

struct BankLayout;

// A GPIO block of 64 lines in the Intel ICH/PCH layout at a base port:
// use select (1 = GPIO) at +0x00 and +0x30, direction (0 = output) at +0x04
// and +0x34, level at +0x0C and +0x38 (lines 0-31, then 32-63), four bytes
// each, in 8-, 16- or 32-bit views. A line drives its level only as a GPIO output; otherwise it
// floats and the board's pull-down holds it at 0.
class GpioBank : public RegisterFile {
public:
    // Hears every write with the driven levels of all 64 lines before and
    // after it.
    using Watcher
        = std::function<void(std::uint32_t port, std::uint64_t before, std::uint64_t after)>;

    explicit GpioBank(std::uint16_t base);

    void Write(std::uint32_t port, unsigned width, std::uint32_t value) override;
    std::uint64_t Levels() const;
    // Sets up a line as the firmware leaves it: a GPIO output at level.
    void DriveAtPowerOn(unsigned line, bool level);
    void WatchLines(Watcher watcher) { m_watcher = std::move(watcher); }

private:
    std::uint64_t Bank(unsigned BankLayout::*reg) const;
    void SetBit(unsigned BankLayout::*reg, unsigned line, bool value);

    std::uint16_t m_base;
    Watcher m_watcher;
};

// The simple-I/O data ports of an IT87 chip: pin set n at base + n - 1.
// A pin drives its bit only when the chip configures it as a GPIO output;
// otherwise it floats high on its pull-up.
class Ite87SimpleIo : public RegisterFile {
public:
    Ite87SimpleIo(const Ite87Chip& chip, std::uint16_t base);

    bool Pin(unsigned set, std::uint8_t mask) const;

private:
    const Ite87Chip& m_chip;
    std::uint16_t m_base;
};

} // namespace bypass::sim
