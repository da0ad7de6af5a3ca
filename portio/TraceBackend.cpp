#include "portio/TraceBackend.h"

#include <utility>

namespace bypass {
namespace {

int HexDigits(unsigned width) { return static_cast<int>(width / 4); }

std::string FormatOut(unsigned width, std::uint32_t port, std::uint32_t value)
{
    char line[48];
    std::snprintf(line, sizeof line, "out%u %X %0*X", width, static_cast<unsigned>(port),
        HexDigits(width), static_cast<unsigned>(value));
    return line;
}

std::string FormatIn(unsigned width, std::uint32_t port, std::uint32_t value)
{
    char line[48];
    std::snprintf(line, sizeof line, "in%u %X -> %0*X", width, static_cast<unsigned>(port),
        HexDigits(width), static_cast<unsigned>(value));
    return line;
}

} // namespace

void TraceBackend::Script(std::uint32_t port, std::initializer_list<std::uint32_t> values)
{
    auto& queue = m_scripts[port];
    queue.insert(queue.end(), values.begin(), values.end());
}

void TraceBackend::SetValue(std::uint32_t port, std::uint32_t value) { m_values[port] = value; }

std::string TraceBackend::Text() const
{
    std::string text;
    for (const auto& line : m_lines)
        text += line + "\n";
    return text;
}

std::uint32_t TraceBackend::Answer(std::uint32_t port, std::uint32_t allOnes)
{
    auto script = m_scripts.find(port);
    if (script != m_scripts.end() && !script->second.empty()) {
        std::uint32_t value = script->second.front();
        script->second.pop_front();
        return value & allOnes;
    }
    auto sticky = m_values.find(port);
    return sticky != m_values.end() ? sticky->second & allOnes : allOnes;
}

void TraceBackend::Record(std::string line)
{
    if (m_echo) {
        std::fprintf(m_echo, "%s\n", line.c_str());
        std::fflush(m_echo);
    }
    m_lines.push_back(std::move(line));
}

int TraceBackend::Open()
{
    int result = m_inner ? m_inner->Open() : m_openResult;
    m_open = (result == 0);
    Record(result == 0 ? "open -> 0" : "open -> -1");
    return result;
}

void TraceBackend::Close()
{
    if (m_inner)
        m_inner->Close();
    if (!m_open)
        return;
    m_open = false;
    Record("close");
}

std::uint8_t TraceBackend::In8(std::uint16_t port)
{
    auto value = static_cast<std::uint8_t>(m_inner ? m_inner->In8(port) : Answer(port, 0xFF));
    Record(FormatIn(8, port, value));
    return value;
}

std::uint16_t TraceBackend::In16(std::uint16_t port)
{
    auto value = static_cast<std::uint16_t>(m_inner ? m_inner->In16(port) : Answer(port, 0xFFFF));
    Record(FormatIn(16, port, value));
    return value;
}

std::uint32_t TraceBackend::In32(std::uint32_t port)
{
    std::uint32_t value = m_inner ? m_inner->In32(port) : Answer(port, 0xFFFFFFFFu);
    Record(FormatIn(32, port, value));
    return value;
}

void TraceBackend::Out8(std::uint16_t port, std::uint8_t value)
{
    if (m_inner)
        m_inner->Out8(port, value);
    Record(FormatOut(8, port, value));
}

void TraceBackend::Out16(std::uint16_t port, std::uint16_t value)
{
    if (m_inner)
        m_inner->Out16(port, value);
    Record(FormatOut(16, port, value));
}

void TraceBackend::Out32(std::uint32_t port, std::uint32_t value)
{
    if (m_inner)
        m_inner->Out32(port, value);
    Record(FormatOut(32, port, value));
}

void TraceBackend::SleepMs(unsigned ms)
{
    if (m_inner)
        m_inner->SleepMs(ms);
    m_sleptMs += ms;
    Record("sleep " + std::to_string(ms));
}

} // namespace bypass
