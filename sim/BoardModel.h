// A virtual appliance: the hardware of one catalogue board, modelled as a
// port backend. Install it with bypass::SetPortBackend and the board tools
// drive it as they would the real board; afterwards ask it which segments
// are in bypass and what the watchdog is doing.
//
// Time is virtual. The tools' pauses (SleepMs) advance it, and so does
// Advance; a watchdog that runs out takes its action in the model: the
// segments go into bypass, or the system restarts (counted by Restarts).
//
// Every access that breaks a rule of the hardware (see RuleLog) is kept in
// RuleViolations, so a tool that does a step in the wrong order, or leaves
// one out, shows there on every board that has the hardware.
#pragma once

#include "portio/PortBackend.h"
#include "sim/SimDevice.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace bypass::sim {

class SuperIoChip;

enum class Relay { Normal, Bypass };
enum class ExpiryAction { None, Bypass, Restart };

struct WatchdogState {
    bool running = false;
    ExpiryAction action = ExpiryAction::None;
    unsigned long long seconds = 0; // left until expiry, rounded up
};

class BoardModel : public PortBackend {
public:
    ~BoardModel() override;

    int Open() override { return 0; }
    void Close() override { }
    std::uint8_t In8(std::uint16_t port) override;
    std::uint16_t In16(std::uint16_t port) override;
    std::uint32_t In32(std::uint32_t port) override;
    void Out8(std::uint16_t port, std::uint8_t value) override;
    void Out16(std::uint16_t port, std::uint16_t value) override;
    void Out32(std::uint32_t port, std::uint32_t value) override;
    void SleepMs(unsigned ms) override { Advance(ms); }

    int Type() const { return m_type; }
    unsigned SegmentCount() const { return unsigned(m_relays.size()); }
    virtual Relay SegmentRelay(unsigned segment) const;
    std::vector<Relay> Relays() const;
    virtual WatchdogState Watchdog() const = 0;

    // Lets ms of virtual time pass.
    void Advance(unsigned long long ms) { Run(ms); }
    unsigned Restarts() const { return m_restarts; }
    const std::vector<std::string>& RuleViolations() const { return m_rules.Broken(); }
    // True while any Super I/O chip of the board is in configuration mode.
    bool SuperIoInConfigMode() const;

protected:
    BoardModel(int type, unsigned segments);

    void Attach(SimDevice& device);
    void AttachChip(SuperIoChip& chip);
    virtual void Run(unsigned long long ms) = 0;
    void SetRelay(unsigned segment, Relay relay);
    void SetAllRelays(Relay relay);
    void Restart() { ++m_restarts; }
    void BrokeRule(std::string rule) { m_rules.Broke(std::move(rule)); }

private:
    std::uint32_t Read(std::uint32_t port, unsigned width);
    void Write(std::uint32_t port, unsigned width, std::uint32_t value);

    int m_type;
    std::vector<Relay> m_relays;
    std::vector<SimDevice*> m_devices;
    std::vector<SuperIoChip*> m_chips;
    unsigned m_restarts = 0;
    RuleLog m_rules;
};

// The board of a catalogue type (0 gives a board without bypass hardware),
// or nullptr for -1 and for types the catalogue does not hold.
std::unique_ptr<BoardModel> CreateBoardModel(int type);

// The types of the board table (every one has a model), in catalogue order.
const std::vector<int>& ModelledBoardTypes();

} // namespace bypass::sim
