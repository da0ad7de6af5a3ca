#include "sim/SimDevice.h"

namespace bypass::sim {

RegisterFile::RegisterFile(
    std::initializer_list<std::pair<const std::uint32_t, std::uint8_t>> powerOn)
    : m_bytes(powerOn)
{
}

bool RegisterFile::Decodes(std::uint32_t port) const { return m_bytes.count(port) != 0; }

std::uint8_t RegisterFile::Byte(std::uint32_t port) const
{
    auto it = m_bytes.find(port);
    return it == m_bytes.end() ? 0xFF : it->second;
}

std::uint32_t RegisterFile::Read(std::uint32_t port, unsigned width)
{
    std::uint32_t value = 0;
    for (unsigned i = 0; i < width; ++i)
        value |= std::uint32_t(Byte(port + i)) << (8 * i);
    return value;
}

void RegisterFile::Write(std::uint32_t port, unsigned width, std::uint32_t value)
{
    for (unsigned i = 0; i < width; ++i) {
        auto it = m_bytes.find(port + i);
        if (it == m_bytes.end())
            continue; // a byte of the access that no register of ours decodes
        const std::uint8_t before = it->second;
        it->second = std::uint8_t(value >> (8 * i));
        if (m_watcher)
            m_watcher(port + i, before, it->second);
    }
}

void Countdown::Load(unsigned long long units, unsigned long long unitMs)
{
    m_unitMs = unitMs;
    m_remainingMs = units * unitMs;
}

bool Countdown::Run(unsigned long long ms)
{
    if (m_remainingMs == 0)
        return false;
    if (ms < m_remainingMs) {
        m_remainingMs -= ms;
        return false;
    }
    m_remainingMs = 0;
    return true;
}

unsigned long long Countdown::UnitsLeft() const
{
    return m_unitMs == 0 ? 0 : (m_remainingMs + m_unitMs - 1) / m_unitMs;
}

} // namespace bypass::sim
