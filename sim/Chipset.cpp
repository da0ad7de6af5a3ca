#include "sim/Chipset.h"

#include <string>

namespace bypass::sim {

// Register offsets of lines 0-31 and of lines 32-63.
struct BankLayout {
    unsigned select, direction, level;
};

namespace {

constexpr BankLayout kBanks[] = {{0x00, 0x04, 0x0C}, {0x30, 0x34, 0x38}};

std::uint8_t ByteOf(std::uint64_t bits, unsigned firstLine)
{
    return std::uint8_t(bits >> firstLine);
}

} // namespace

GpioBank::GpioBank(std::uint16_t base)
    : RegisterFile({})
    , m_base(base)
{
    // Power-on state: every line an input, not yet given to GPIO.
    for (const BankLayout& bank : kBanks) {
        for (unsigned i = 0; i < 4; ++i) {
            Add(base + bank.select + i, 0x00);
            Add(base + bank.direction + i, 0xFF);
            Add(base + bank.level + i, 0x00);
        }
    }
}

void GpioBank::SetBit(unsigned BankLayout::*reg, unsigned line, bool value)
{
    const std::uint32_t port = m_base + kBanks[line / 32].*reg + (line % 32) / 8;
    const auto mask = std::uint8_t(1u << (line % 8));
    Add(port, value ? std::uint8_t(Byte(port) | mask) : std::uint8_t(Byte(port) & ~mask));
}

void GpioBank::DriveAtPowerOn(unsigned line, bool level)
{
    SetBit(&BankLayout::select, line, true);
    SetBit(&BankLayout::direction, line, false);
    SetBit(&BankLayout::level, line, level);
}

void GpioBank::InputAtPowerOn(unsigned line, bool level)
{
    SetBit(&BankLayout::select, line, true);
    SetBit(&BankLayout::direction, line, true);
    const std::uint64_t bit = std::uint64_t(1) << line;
    m_inputPins = level ? m_inputPins | bit : m_inputPins & ~bit;
}

std::uint64_t GpioBank::Bank(unsigned BankLayout::*reg) const
{
    std::uint64_t bits = 0;
    for (unsigned half = 0; half < 2; ++half) {
        for (unsigned i = 0; i < 4; ++i) {
            const std::uint32_t port = m_base + kBanks[half].*reg + i;
            bits |= std::uint64_t(Byte(port)) << (32 * half + 8 * i);
        }
    }
    return bits;
}

std::uint64_t GpioBank::Levels() const
{
    const std::uint64_t gpio = Bank(&BankLayout::select);
    const std::uint64_t inputs = Bank(&BankLayout::direction);
    return (gpio & ~inputs & Bank(&BankLayout::level)) | (gpio & inputs & m_inputPins);
}

int GpioBank::FirstLevelLine(std::uint32_t port) const
{
    for (unsigned half = 0; half < 2; ++half) {
        const std::uint32_t level = m_base + kBanks[half].level;
        if (port >= level && port < level + 4)
            return int(32 * half + 8 * (port - level));
    }
    return -1;
}

std::uint32_t GpioBank::Read(std::uint32_t port, unsigned width)
{
    std::uint32_t value = 0;
    for (unsigned i = 0; i < width; ++i) {
        const int line = FirstLevelLine(port + i);
        const std::uint8_t byte = line < 0 ? Byte(port + i) : ByteOf(Levels(), unsigned(line));
        value |= std::uint32_t(byte) << (8 * i);
    }
    return value;
}

void GpioBank::WriteLevelByte(std::uint32_t port, unsigned firstLine, std::uint8_t value)
{
    const std::uint8_t outputs
        = ByteOf(Bank(&BankLayout::select) & ~Bank(&BankLayout::direction), firstLine);
    const std::uint8_t refused = std::uint8_t((value ^ ByteOf(Levels(), firstLine)) & ~outputs);
    for (unsigned bit = 0; bit < 8; ++bit) {
        if (refused & (1u << bit))
            Broke("GPIO " + std::to_string(firstLine + bit) + " driven while not a GPIO output");
    }
    Add(port, std::uint8_t((Byte(port) & ~outputs) | (value & outputs)));
}

void GpioBank::Write(std::uint32_t port, unsigned width, std::uint32_t value)
{
    const std::uint64_t before = Levels();
    for (unsigned i = 0; i < width; ++i) {
        const auto byte = std::uint8_t(value >> (8 * i));
        const int line = FirstLevelLine(port + i);
        if (line >= 0)
            WriteLevelByte(port + i, unsigned(line), byte);
        else if (Decodes(port + i))
            Add(port + i, byte);
    }
    if (m_watcher)
        m_watcher(port, before, Levels());
}

void GpioBank::WatchLatch(
    unsigned strobe, std::uint64_t inputs, std::function<void(std::uint64_t levels)> latched)
{
    const std::uint64_t strobeBit = std::uint64_t(1) << strobe;
    m_watcher = [this, strobeBit, inputs, latched](
                    std::uint32_t, std::uint64_t before, std::uint64_t after) {
        if ((before & strobeBit) || !(after & strobeBit))
            return;
        if ((before ^ after) & inputs)
            Broke("relay latch lines changed with the rising edge of its strobe");
        latched(after);
    };
}

Ite87SimpleIo::Ite87SimpleIo(const Ite87Chip& chip, std::uint16_t base)
    : RegisterFile({})
    , m_chip(chip)
    , m_base(base)
{
    for (unsigned set = 1; set <= 5; ++set)
        Add(base + set - 1, 0xFF);
}

std::uint8_t Ite87SimpleIo::Outputs(unsigned set) const { return m_chip.OutputPins(set); }

std::uint8_t Ite87SimpleIo::Pins(unsigned set) const
{
    return std::uint8_t((Byte(m_base + set - 1) & Outputs(set)) | ~Outputs(set));
}

std::uint32_t Ite87SimpleIo::Read(std::uint32_t port, unsigned width)
{
    std::uint32_t value = 0;
    for (unsigned i = 0; i < width; ++i) {
        if (Decodes(port + i))
            value |= std::uint32_t(Pins(port + i - m_base + 1)) << (8 * i);
        else
            value |= 0xFFu << (8 * i);
    }
    return value;
}

void Ite87SimpleIo::Write(std::uint32_t port, unsigned width, std::uint32_t value)
{
    for (unsigned i = 0; i < width; ++i) {
        if (!Decodes(port + i))
            continue;
        const unsigned set = port + i - m_base + 1;
        const auto byte = std::uint8_t(value >> (8 * i));
        if ((byte ^ Pins(set)) & ~Outputs(set))
            Broke("simple-I/O set " + std::to_string(set) + " driven on a pin not an output");
        const std::uint8_t kept = std::uint8_t(Byte(port + i) & ~Outputs(set));
        RegisterFile::Write(port + i, 1, std::uint8_t(kept | (byte & Outputs(set))));
    }
}

bool Ite87SimpleIo::Pin(unsigned set, std::uint8_t mask) const { return (Pins(set) & mask) != 0; }

} // namespace bypass::sim
