#include "sim/Chipset.h"

namespace bypass::sim {

// Register offsets of lines 0-31 and of lines 32-63.
struct BankLayout {
    unsigned select, direction, level;
};

namespace {

constexpr BankLayout kBanks[] = {{0x00, 0x04, 0x0C}, {0x30, 0x34, 0x38}};

} // namespace

RelayLatch::RelayLatch(std::initializer_list<std::pair<const std::uint32_t, std::uint8_t>> powerOn,
    PortBit strobe, std::vector<PortBit> address, PortBit data, Latched latched)
    : RegisterFile(powerOn)
    , m_strobe(strobe)
    , m_address(std::move(address))
    , m_data(data)
    , m_latched(std::move(latched))
{
}

void RelayLatch::Write(std::uint32_t port, unsigned width, std::uint32_t value)
{
    const bool before = Bit(m_strobe.port, m_strobe.mask);
    RegisterFile::Write(port, width, value);
    if (!before && Bit(m_strobe.port, m_strobe.mask))
        m_latched(Address(), Bit(m_data.port, m_data.mask));
}

unsigned RelayLatch::Address() const
{
    unsigned address = 0;
    for (std::size_t i = 0; i < m_address.size(); ++i) {
        if (Bit(m_address[i].port, m_address[i].mask))
            address |= 1u << i;
    }
    return address;
}

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
    return Bank(&BankLayout::select) & ~Bank(&BankLayout::direction) & Bank(&BankLayout::level);
}

void GpioBank::Write(std::uint32_t port, unsigned width, std::uint32_t value)
{
    const std::uint64_t before = Levels();
    RegisterFile::Write(port, width, value);
    if (m_watcher)
        m_watcher(port, before, Levels());
}

Ite87SimpleIo::Ite87SimpleIo(const Ite87Chip& chip, std::uint16_t base)
    : RegisterFile({})
    , m_chip(chip)
    , m_base(base)
{
    for (unsigned set = 1; set <= 5; ++set)
        Add(base + set - 1, 0xFF);
}

bool Ite87SimpleIo::Pin(unsigned set, std::uint8_t mask) const
{
    if (!m_chip.PinIsOutput(set, mask))
        return true;
    return Bit(m_base + set - 1, mask);
}

} // namespace bypass::sim
