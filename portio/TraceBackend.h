// A port backend that records every access and sleep as one line of text:
//
//   out8 4E 87        8-bit write of 0x87 to port 0x4E
//   in8 4F -> 03      8-bit read of port 0x4F that answered 0x03
//   out16 500 FFFF    16-bit write, value in four digits
//   in32 CFC -> 8086  (32-bit values are written in eight digits)
//   sleep 150         a pause of 150 ms
//   open -> 0         the driver was opened (0) or refused (-1)
//   close             an open driver was closed
//
// On its own it plays the hardware: reads answer values scripted per port
// (a queue, then a sticky value, then all ones as on a floating bus) and
// sleeps take no time. Given an inner backend it forwards every operation
// to it and records what really happened, which is how a tool shows the
// traffic of a real board.
#pragma once

#include "portio/PortBackend.h"

#include <cstdint>
#include <cstdio>
#include <deque>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace bypass {

class TraceBackend : public PortBackend {
public:
    explicit TraceBackend(PortBackend* inner = nullptr)
        : m_inner(inner)
    {
    }

    // Reads of port answer these values in turn, before any sticky value.
    void Script(std::uint32_t port, std::initializer_list<std::uint32_t> values);
    // Reads of port answer value once its script is used up.
    void SetValue(std::uint32_t port, std::uint32_t value);
    // What Open answers when there is no inner backend.
    void SetOpenResult(int result) { m_openResult = result; }
    // Also writes each line, as it is recorded, to stream.
    void EchoTo(std::FILE* stream) { m_echo = stream; }

    const std::vector<std::string>& Lines() const { return m_lines; }
    std::string Text() const;
    void ClearTrace() { m_lines.clear(); }
    bool IsOpen() const { return m_open; }
    // Total of all recorded sleeps, in milliseconds.
    unsigned long long SleptMs() const { return m_sleptMs; }

    int Open() override;
    void Close() override;
    std::uint8_t In8(std::uint16_t port) override;
    std::uint16_t In16(std::uint16_t port) override;
    std::uint32_t In32(std::uint32_t port) override;
    void Out8(std::uint16_t port, std::uint8_t value) override;
    void Out16(std::uint16_t port, std::uint16_t value) override;
    void Out32(std::uint32_t port, std::uint32_t value) override;
    void SleepMs(unsigned ms) override;
    unsigned long FailedAccesses() const override
    {
        return m_inner ? m_inner->FailedAccesses() : 0;
    }

private:
    std::uint32_t Answer(std::uint32_t port, std::uint32_t allOnes);
    void Record(std::string line);

    PortBackend* m_inner;
    std::map<std::uint32_t, std::deque<std::uint32_t>> m_scripts;
    std::map<std::uint32_t, std::uint32_t> m_values;
    std::vector<std::string> m_lines;
    std::FILE* m_echo = nullptr;
    int m_openResult = 0;
    bool m_open = false;
    unsigned long long m_sleptMs = 0;
};

} // namespace bypass
