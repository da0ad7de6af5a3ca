// Board logic behind fixed I/O ports that holds both the relays and a
// watchdog of its own.
#pragma once

#include "sim/SimDevice.h"

#include <cstdint>
#include <functional>

namespace bypass::sim {

// The NEXCOM logic at 0xF2/0xF3. Port 0xF3 is the control byte: bit 7 = 1
// keeps the ports out of bypass, bits 7-6 = 11 run the watchdog. Port 0xF2
// is the timeout code c: the logic waits 2^(c-1) seconds (code 0 does not
// run). Writing either port while armed restarts the count; on expiry the
// logic drops bit 7 and the ports go into bypass.
class NexcomLogic : public SimDevice {
public:
    bool Decodes(std::uint32_t port) const override { return port == 0xF2 || port == 0xF3; }
    std::uint32_t Read(std::uint32_t port, unsigned width) override;
    void Write(std::uint32_t port, unsigned width, std::uint32_t value) override;

    void Run(unsigned long long ms);
    bool Bypassed() const { return (m_control & 0x80) == 0; }
    bool WatchdogRunning() const { return Armed() && m_count.Running(); }
    unsigned long long WatchdogSecondsLeft() const { return m_count.SecondsLeft(); }

private:
    bool Armed() const { return (m_control & 0xC0) == 0xC0; }
    void WriteByte(std::uint32_t port, std::uint8_t value);

    std::uint8_t m_code = 0;
    std::uint8_t m_control = 0x80; // firmware leaves the ports in normal operation
    Countdown m_count;
};

// The logic of the 845 board at port 0xF2: bit 4 arms the watchdog to put
// the ports into bypass, bit 3 to restart the system, bits 2-0 hold a code c
// for 2^(6-c) seconds. Every write starts over: it takes the ports out of a
// bypass that an expiry caused, and loads the count when an arm bit is set.
class Logic845 : public SimDevice {
public:
    bool Decodes(std::uint32_t port) const override { return port == 0xF2; }
    std::uint32_t Read(std::uint32_t, unsigned) override { return m_value; }
    void Write(std::uint32_t port, unsigned width, std::uint32_t value) override;

    void Run(unsigned long long ms);
    bool Bypassed() const { return m_expiredIntoBypass; }
    bool ArmedForRestart() const { return (m_value & 0x08) != 0; }
    bool WatchdogRunning() const { return m_count.Running(); }
    unsigned long long WatchdogSecondsLeft() const { return m_count.SecondsLeft(); }
    std::function<void()> onRestart;

private:
    std::uint8_t m_value = 0;
    bool m_expiredIntoBypass = false;
    Countdown m_count;
};

} // namespace bypass::sim
