// The pieces a modelled board is built from: a device on the I/O bus, a
// bank of plain byte registers, the countdown of a watchdog timer, and the
// log of the hardware's rules that an access broke.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace bypass::sim {

// What the hardware requires of its driver, as a datasheet states it (a
// register reached only in configuration mode, lines driven only as
// outputs, data stable before its strobe): every access that broke a rule,
// in order, each described once.
class RuleLog {
public:
    void Broke(std::string rule) { m_broken.push_back(std::move(rule)); }
    const std::vector<std::string>& Broken() const { return m_broken; }

private:
    std::vector<std::string> m_broken;
};

// A piece of hardware that answers some I/O ports. Accesses are 1, 2 or 4
// bytes wide; a device that holds byte registers sees a wide access as its
// bytes in little-endian order, as the x86 bus delivers them.
class SimDevice {
public:
    virtual ~SimDevice() = default;
    virtual bool Decodes(std::uint32_t port) const = 0;
    virtual std::uint32_t Read(std::uint32_t port, unsigned width) = 0;
    virtual void Write(std::uint32_t port, unsigned width, std::uint32_t value) = 0;

    void ReportTo(RuleLog& rules) { m_rules = &rules; }

protected:
    void Broke(std::string rule) const
    {
        if (m_rules)
            m_rules->Broke(std::move(rule));
    }

private:
    RuleLog* m_rules = nullptr;
};

// Byte registers at a set of ports, each keeping what was last written
// (chipset GPIO level bytes, board ports). A watcher hears every byte write
// with the value before and after.
class RegisterFile : public SimDevice {
public:
    using Watcher
        = std::function<void(std::uint32_t port, std::uint8_t before, std::uint8_t after)>;

    RegisterFile(std::initializer_list<std::pair<const std::uint32_t, std::uint8_t>> powerOn);

    bool Decodes(std::uint32_t port) const override;
    std::uint32_t Read(std::uint32_t port, unsigned width) override;
    void Write(std::uint32_t port, unsigned width, std::uint32_t value) override;

    std::uint8_t Byte(std::uint32_t port) const;
    void WatchWrites(Watcher watcher) { m_watcher = std::move(watcher); }
    // Adds a register, or sets one as the firmware leaves it at power-on.
    void Add(std::uint32_t port, std::uint8_t value) { m_bytes[port] = value; }

private:
    std::map<std::uint32_t, std::uint8_t> m_bytes;
    Watcher m_watcher;
};

// A watchdog counter in virtual time: loaded with a number of units of
// unitMs each, it runs down while the model's clock advances.
class Countdown {
public:
    void Load(unsigned long long units, unsigned long long unitMs);
    void Stop() { m_remainingMs = 0; }
    bool Running() const { return m_remainingMs > 0; }
    // Lets ms pass; true when the count runs out within them.
    bool Run(unsigned long long ms);
    // What a counter register reads: whole units left, rounded up.
    unsigned long long UnitsLeft() const;
    unsigned long long SecondsLeft() const { return (m_remainingMs + 999) / 1000; }

private:
    unsigned long long m_remainingMs = 0;
    unsigned long long m_unitMs = 1000;
};

} // namespace bypass::sim
