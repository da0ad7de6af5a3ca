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

// A catalogue board's hardware model and the product name it reports
// (which may be empty: types 2 and 5003 report none). While it is alive the
// library sees it: its product name answers the baseboard query. Only one
// may exist at a time.
class BoardSimulator {
public:
    BoardSimulator(int modelType, std::string product);
    ~BoardSimulator();
    BoardSimulator(const BoardSimulator&) = delete;
    BoardSimulator& operator=(const BoardSimulator&) = delete;

    // The hardware behind the port primitives.
    bypass::PortBackend& Ports() { return *m_model; }
    ModelledState State() const;
    // Lets ms of time pass for the hardware while the tool is idle.
    void Pass(unsigned long long ms)
    {
        m_model->Advance(ms);
        m_passedMs += ms;
    }
    // The time that has passed for the hardware since it was built.
    unsigned long long PassedMs() const { return m_passedMs; }

private:
    std::string m_product;
    std::unique_ptr<bypass::sim::BoardModel> m_model;
    unsigned long long m_passedMs = 0;
    bypass::ProductNameSource m_previous;
};

} // namespace bypassctl
