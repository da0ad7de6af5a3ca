// A simulated board, so that bypassctl works on any machine without
// privileges: the board's product name for identification, and the ports
// the board code talks to.
#pragma once

#include "framework/BaseboardQuery.h"
#include "portio/PortBackend.h"

#include <memory>
#include <string>

namespace bypassctl {

class BoardSimulator {
public:
    virtual ~BoardSimulator() = default;
    // The product name the simulated mainboard reports.
    virtual const std::string& ProductName() const = 0;
    // The hardware behind the port primitives.
    virtual bypass::PortBackend& Ports() = 0;
};

// The board whose catalogue row carries type and product (product may be
// empty: types 2 and 5003 report none).
std::unique_ptr<BoardSimulator> MakeBoardSimulator(int type, const std::string& product);

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
