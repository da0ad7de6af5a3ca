#include "sim/BoardLogic.h"

namespace bypass::sim {

std::uint32_t NexcomLogic::Read(std::uint32_t port, unsigned)
{
    return port == 0xF2 ? m_code : m_control;
}

void NexcomLogic::Write(std::uint32_t port, unsigned width, std::uint32_t value)
{
    for (unsigned i = 0; i < width; ++i) {
        if (Decodes(port + i))
            WriteByte(port + i, std::uint8_t(value >> (8 * i)));
    }
}

void NexcomLogic::WriteByte(std::uint32_t port, std::uint8_t value)
{
    if (port == 0xF2)
        m_code = value;
    else
        m_control = value;
    if (!Armed()) {
        m_count.Stop();
        return;
    }
    const unsigned code = m_code > 32 ? 32 : m_code;
    m_count.Load(code == 0 ? 0 : 1ull << (code - 1), 1000);
}

void NexcomLogic::Run(unsigned long long ms)
{
    if (Armed() && m_count.Run(ms))
        m_control = std::uint8_t((m_control & 0x3F) | 0x40);
}

void Logic845::Write(std::uint32_t, unsigned, std::uint32_t value)
{
    m_value = std::uint8_t(value);
    m_expiredIntoBypass = false;
    if (m_value & 0x18)
        m_count.Load(64000 >> (m_value & 0x07), 1);
    else
        m_count.Stop();
}

void Logic845::Run(unsigned long long ms)
{
    if (!m_count.Run(ms))
        return;
    if (ArmedForRestart()) {
        if (onRestart)
            onRestart();
    } else {
        m_expiredIntoBypass = true;
    }
}

} // namespace bypass::sim
