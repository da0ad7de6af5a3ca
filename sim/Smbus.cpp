#include "sim/Smbus.h"

namespace bypass::sim {
namespace {

constexpr std::uint32_t kEnable = 0x80000000u;
constexpr std::uint8_t kBusy = 0x01, kDone = 0x02, kDeviceError = 0x04, kKilled = 0x10;
constexpr std::uint8_t kStart = 0x40, kKill = 0x02, kProtocolMask = 0x1C;
enum HostRegister { kStatus = 0, kControl = 2, kCommand = 3, kAddress = 4, kData = 5, kData1 = 6 };
// Protocols of control bits 4-2.
enum Protocol { kQuick, kByte, kByteData, kWordData, kProcessCall };
// A transaction of a few bytes at 100 kHz ends within a millisecond.
constexpr unsigned long long kTransactionMs = 1;

std::uint32_t ConfigAddress(unsigned bus, unsigned device, unsigned function, unsigned reg)
{
    return kEnable | (bus << 16) | (device << 11) | (function << 8) | (reg & 0xFC);
}

std::uint32_t Lanes(std::uint32_t dword, unsigned offset, unsigned width)
{
    const std::uint32_t value = dword >> (8 * offset);
    return width >= 4 ? value : value & ((1u << (8 * width)) - 1);
}

} // namespace

void PciConfigSpace::SetDword(unsigned bus, unsigned device, unsigned function, unsigned reg,
    std::uint32_t value, std::uint32_t writable)
{
    m_dwords[ConfigAddress(bus, device, function, reg)] = {value, writable};
}

std::uint32_t PciConfigSpace::Dword(
    unsigned bus, unsigned device, unsigned function, unsigned reg) const
{
    auto it = m_dwords.find(ConfigAddress(bus, device, function, reg));
    return it == m_dwords.end() ? 0 : it->second.value;
}

bool PciConfigSpace::FunctionThere(std::uint32_t address) const
{
    return (address & kEnable) && m_dwords.count(address & 0xFFFFFF00u) != 0;
}

std::uint32_t PciConfigSpace::Read(std::uint32_t port, unsigned width)
{
    if (port == 0xCF8 && width == 4)
        return m_address;
    if (port < 0xCFC || !FunctionThere(m_address))
        return Lanes(0xFFFFFFFFu, 0, width);
    auto it = m_dwords.find(m_address & ~3u);
    return Lanes(it == m_dwords.end() ? 0 : it->second.value, port - 0xCFC, width);
}

void PciConfigSpace::Write(std::uint32_t port, unsigned width, std::uint32_t value)
{
    // Only a dword write reaches the address latch.
    if (port == 0xCF8 && width == 4)
        m_address = value;
    auto it = port < 0xCFC || !FunctionThere(m_address) ? m_dwords.end()
                                                        : m_dwords.find(m_address & ~3u);
    if (it == m_dwords.end())
        return;
    const unsigned shift = 8 * (port - 0xCFC);
    const std::uint32_t lanes = Lanes(0xFFFFFFFFu, 0, width) << shift;
    const std::uint32_t mask = lanes & it->second.writable;
    it->second.value = (it->second.value & ~mask) | ((value << shift) & mask);
}

std::uint32_t SmbusHost::Read(std::uint32_t port, unsigned) { return m_regs[port - m_base]; }

void SmbusHost::Write(std::uint32_t port, unsigned, std::uint32_t value)
{
    const auto byte = std::uint8_t(value);
    const unsigned reg = port - m_base;
    if (m_busyMs > 0 && reg != kStatus && !(reg == kControl && (byte & kKill)))
        Broke("SMBus host register written while a transaction runs");
    switch (reg) {
    case kStatus:
        m_regs[kStatus] &= std::uint8_t(~(byte & ~kBusy));
        break;
    case kControl:
        m_regs[kControl] = std::uint8_t(byte & ~kStart);
        if (byte & kKill)
            Kill();
        else if ((byte & kStart) && hostEnabled())
            Start(byte);
        break;
    default:
        m_regs[reg] = byte;
    }
}

void SmbusHost::Start(std::uint8_t control)
{
    const std::uint8_t address = m_regs[kAddress];
    auto it = m_slaves.find(std::uint8_t(address >> 1));
    const bool answered = it != m_slaves.end()
        && Transfer(*it->second, (control & kProtocolMask) >> 2, address & 1);
    m_outcome = answered ? kDone : kDeviceError;
    m_busyMs = kTransactionMs;
    m_regs[kStatus] |= kBusy;
}

void SmbusHost::Kill()
{
    // A kill on an idle host has nothing to end: FAILED reports only a
    // transaction the kill cut short.
    if (m_busyMs == 0)
        return;
    m_busyMs = 0;
    m_regs[kStatus] = std::uint8_t((m_regs[kStatus] & ~kBusy) | kKilled);
}

bool SmbusHost::Transfer(SmbusSlave& slave, unsigned protocol, bool read)
{
    const std::uint8_t command = m_regs[kCommand];
    switch (protocol) {
    case kQuick:
        return true;
    case kByte:
        if (read)
            m_regs[kData] = slave.ReadByte(slave.pointer);
        else
            slave.pointer = command;
        return true;
    case kByteData:
        if (read)
            m_regs[kData] = slave.ReadByte(command);
        else
            slave.WriteByte(command, m_regs[kData]);
        return true;
    case kProcessCall:
        slave.WriteByte(command, m_regs[kData]);
        slave.WriteByte(std::uint8_t(command + 1), m_regs[kData1]);
        read = true;
        [[fallthrough]];
    case kWordData:
        if (!read) {
            slave.WriteByte(command, m_regs[kData]);
            slave.WriteByte(std::uint8_t(command + 1), m_regs[kData1]);
            return true;
        }
        m_regs[kData] = slave.ReadByte(command);
        m_regs[kData1] = slave.ReadByte(std::uint8_t(command + 1));
        return true;
    default:
        return false; // the block protocols: no device on this bus takes them
    }
}

void SmbusHost::Run(unsigned long long ms)
{
    if (m_busyMs == 0)
        return;
    m_busyMs = ms < m_busyMs ? m_busyMs - ms : 0;
    if (m_busyMs == 0)
        m_regs[kStatus] = std::uint8_t((m_regs[kStatus] & ~kBusy) | m_outcome);
}

void BypassController::WriteByte(std::uint8_t command, std::uint8_t value)
{
    m_regs[command] = value;
    switch (command) {
    case 0x12:
        SetSegments(value, false);
        break;
    case 0x24:
        m_count.Load(m_regs[0x22], 1000);
        break;
    case 0x25:
        m_count.Stop();
        break;
    default:
        break;
    }
}

void BypassController::SetSegments(std::uint8_t mask, bool onlySet)
{
    for (std::size_t i = 0; i < m_bypass.size(); ++i) {
        const bool bit = (mask >> i) & 1;
        if (bit || !onlySet)
            m_bypass[i] = bit;
    }
}

void BypassController::Run(unsigned long long ms)
{
    if (m_count.Run(ms))
        SetSegments(m_regs[0x11], true);
}

} // namespace bypass::sim
