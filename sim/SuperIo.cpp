#include "sim/SuperIo.h"

namespace bypass::sim {
namespace {

constexpr unsigned long long kSecondMs = 1000;
constexpr unsigned long long kMinuteMs = 60 * kSecondMs;
constexpr unsigned long long kExtendedUnitMs = 64;

} // namespace

SuperIoChip::SuperIoChip(std::uint16_t indexPort)
    : m_indexPort(indexPort)
    , m_devices(256 * 256, 0)
{
}

bool SuperIoChip::Decodes(std::uint32_t port) const
{
    return port == m_indexPort || port == m_indexPort + 1u;
}

std::uint8_t& SuperIoChip::Cell(std::uint8_t device, std::uint8_t reg)
{
    return reg < m_global.size() ? m_global[reg] : m_devices[device * 256u + reg];
}

std::uint8_t SuperIoChip::Register(std::uint8_t device, std::uint8_t reg) const
{
    return reg < m_global.size() ? m_global[reg] : m_devices[device * 256u + reg];
}

void SuperIoChip::SetRegister(std::uint8_t device, std::uint8_t reg, std::uint8_t value)
{
    Cell(device, reg) = value;
}

std::uint32_t SuperIoChip::Read(std::uint32_t port, unsigned)
{
    if (!m_configMode) {
        Broke("Super I/O register read outside configuration mode");
        return 0xFF;
    }
    if (port == m_indexPort)
        return m_index;
    return RegisterRead(SelectedDevice(), m_index);
}

void SuperIoChip::Write(std::uint32_t port, unsigned, std::uint32_t value)
{
    const auto byte = std::uint8_t(value);
    if (port == m_indexPort) {
        if (m_configMode)
            IndexByte(byte);
        else
            KeyByte(byte);
    } else if (m_configMode) {
        RegisterWritten(SelectedDevice(), m_index, byte);
    } else {
        KeyInterrupted();
        Broke("Super I/O register written outside configuration mode");
    }
}

void SuperIoChip::RegisterWritten(std::uint8_t device, std::uint8_t reg, std::uint8_t value)
{
    Cell(device, reg) = value;
}

std::uint8_t SuperIoChip::RegisterRead(std::uint8_t device, std::uint8_t reg)
{
    return Register(device, reg);
}

void SuperIoChip::Fire()
{
    if (onExpiry)
        onExpiry();
}

void W83627ProtocolChip::KeyByte(std::uint8_t value)
{
    // Two 0x87 in a row; anything else starts the key over.
    if (value != 0x87)
        Broke("Super I/O index written outside configuration mode");
    if (value == 0x87 && m_firstKey)
        Enter();
    m_firstKey = value == 0x87 && !m_firstKey;
}

void W83627ProtocolChip::IndexByte(std::uint8_t value)
{
    if (value == 0xAA) {
        Leave();
        m_firstKey = false;
        return;
    }
    m_index = value;
}

std::uint8_t W83627ProtocolChip::RegisterRead(std::uint8_t device, std::uint8_t reg)
{
    if (device == m_watchdogDevice && reg == 0xF6)
        return std::uint8_t(m_count.UnitsLeft());
    return Register(device, reg);
}

void W83627ProtocolChip::RegisterWritten(std::uint8_t device, std::uint8_t reg, std::uint8_t value)
{
    SuperIoChip::RegisterWritten(device, reg, value);
    if (device == m_watchdogDevice && reg == 0xF6)
        m_count.Load(value, (Register(device, 0xF5) & 0x08) ? kMinuteMs : kSecondMs);
}

W83627Chip::W83627Chip()
    : W83627ProtocolChip(8)
{
    SetRegister(0, 0x2D, 0x01);
}

void W83627Chip::RegisterWritten(std::uint8_t device, std::uint8_t reg, std::uint8_t value)
{
    if (device != 8 || reg != 0xF7) {
        W83627ProtocolChip::RegisterWritten(device, reg, value);
        return;
    }
    // Status bit 4 only clears; the force bit 5 never reads back as 1.
    const std::uint8_t status = Register(8, 0xF7) & value & 0x10;
    SetRegister(8, reg, std::uint8_t((value & ~0x30) | status));
    if ((value & 0x20) && Active())
        Expire();
}

void W83627Chip::Run(unsigned long long ms)
{
    if (Active() && m_count.Run(ms))
        Expire();
}

void W83627Chip::Expire()
{
    m_count.Stop();
    const bool fires = CanFire() && (RestartOnExpiry() || OutputOnPin());
    SetRegister(8, 0xF7, Register(8, 0xF7) | 0x10);
    if (fires)
        Fire();
}

F71Chip::F71Chip()
    : W83627ProtocolChip(7)
{
    SetRegister(7, 0x30, 0x01);
}

void F71Chip::RegisterWritten(std::uint8_t device, std::uint8_t reg, std::uint8_t value)
{
    if (device == 7 && reg == 0xF5) {
        // Writing 1 to the status bit 6 clears it; writing 0 keeps it.
        const std::uint8_t status = Register(7, 0xF5) & ~value & 0x40;
        value = std::uint8_t((value & ~0x40) | status);
    }
    W83627ProtocolChip::RegisterWritten(device, reg, value);
}

void F71Chip::Run(unsigned long long ms)
{
    if (!Enabled() || !m_count.Run(ms))
        return;
    SetRegister(7, 0xF5, Register(7, 0xF5) | 0x40);
    if (OutputEnabled())
        Fire();
}

Ite87Chip::Ite87Chip(std::uint16_t chipId, std::uint8_t revision)
    : SuperIoChip(0x2E)
{
    SetRegister(0, 0x20, std::uint8_t(chipId >> 8));
    SetRegister(0, 0x21, std::uint8_t(chipId));
    SetRegister(0, 0x22, revision);
}

void Ite87Chip::KeyByte(std::uint8_t value)
{
    static constexpr std::uint8_t kKey[] = {0x87, 0x01, 0x55, 0x55};
    if (value == kKey[m_keyStep]) {
        ++m_keyStep;
    } else {
        if (value != kKey[0])
            Broke("Super I/O index written outside configuration mode");
        m_keyStep = value == kKey[0] ? 1 : 0;
    }
    if (m_keyStep == sizeof kKey) {
        m_keyStep = 0;
        Enter();
    }
}

bool Ite87Chip::SixteenBitCount() const
{
    const unsigned id = Register(0, 0x20) << 8 | Register(0, 0x21);
    return !(id == 0x8702 || (id == 0x8712 && (Register(0, 0x22) & 0x0F) < 8));
}

unsigned long long Ite87Chip::UnitMs() const
{
    const std::uint8_t config = Register(7, 0x72);
    if (!(config & 0x80))
        return kMinuteMs; // no source says what bit 5 does in minutes; the model ignores it
    return (config & 0x20) ? kExtendedUnitMs : kSecondMs;
}

void Ite87Chip::LoadCount()
{
    const unsigned high = SixteenBitCount() ? Register(7, 0x74) : 0;
    m_count.Load(Register(7, 0x73) | high << 8, UnitMs());
}

void Ite87Chip::RegisterWritten(std::uint8_t device, std::uint8_t reg, std::uint8_t value)
{
    if (reg == 0x02) {
        // Configuration control: bit 1 returns the chip to the "wait for
        // key" state; the register itself keeps nothing.
        if (value & 0x02)
            Leave();
        return;
    }
    if (reg >= 0x20 && reg <= 0x22)
        return; // the chip ID and revision are read-only
    if (device == 7 && reg == 0x71) {
        // The status bit 0 only clears; the force bit 1 never reads back.
        const std::uint8_t status = Register(7, 0x71) & value & 0x01;
        SetRegister(7, reg, std::uint8_t((value & ~0x03) | status));
        if (value & 0x02)
            Expire();
        return;
    }
    SuperIoChip::RegisterWritten(device, reg, value);
    if (device != 7)
        return;
    if (reg == 0x73 || (reg == 0x74 && SixteenBitCount()))
        LoadCount();
    else if (reg == 0x72 && m_count.Running())
        m_count.Load(m_count.UnitsLeft(), UnitMs()); // the unit applies to the count as it stands
}

void Ite87Chip::Run(unsigned long long ms)
{
    if (m_count.Run(ms))
        Expire();
}

void Ite87Chip::Expire()
{
    m_count.Stop();
    SetRegister(7, 0x71, Register(7, 0x71) | 0x01);
    Fire();
}

std::uint8_t Ite87Chip::OutputPins(unsigned set) const
{
    const auto offset = std::uint8_t(set - 1);
    return Register(0, std::uint8_t(0x25 + offset)) & Register(7, std::uint8_t(0xC0 + offset))
        & Register(7, std::uint8_t(0xC8 + offset));
}

} // namespace bypass::sim
