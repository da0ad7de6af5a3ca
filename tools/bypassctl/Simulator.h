// A simulated board, so that bypassctl works on any machine without
// privileges: the board's product name for identification, and a model of
// its hardware behind the ports the board code talks to. Each bypassctl run
// builds a new model, so a simulated board starts from its power-on state.
#pragma once

#include "framework/BaseboardQuery.h"
#include "portio/PortBackend.h"
#include "sim/BoardModel.h"

#include <memory>
#include <string>
#include <vector>

namespace bypassctl {

// What the modelled hardware holds: each segment's relay, the watchdog, and
// how often its expiry restarted the system.
struct ModelledState {
    std::vector<bypass::sim::Relay> relays;
    bypass::sim::WatchdogState watchdog;
    unsigned restarts = 0;
};

class BoardSimulator {
public:
    virtual ~BoardSimulator() = default;
    // The product name the simulated mainboard reports.
    virtual const std::string& ProductName() const = 0;
    // The hardware behind the port primitives.
    virtual bypass::PortBackend& Ports() = 0;
    virtual ModelledState State() const = 0;
    // Lets ms of time pass for the hardware while the tool is idle.
    virtual void Pass(unsigned long long ms) = 0;
};

// The hardware of the catalogue board modelType, reporting product (which
// may be empty: types 2 and 5003 report none).
std::unique_ptr<BoardSimulator> MakeBoardSimulator(int modelType, const std::string& product);

// While alive, the library sees the simulated board: its product name
// answers the baseboard query. Only one may exist at a time.
class SimulatedProductName {
public:
    explicit SimulatedProductName(const BoardSimulator& board);
    ~SimulatedProductName();
    SimulatedProductName(const SimulatedProductName&) = delete;
    SimulatedProductName& operator=(const SimulatedProductName&) = delete;

private:
    bypass::ProductNameSource m_previous;
};

} // namespace bypassctl
