#include "Simulator.h"

#include "portio/TraceBackend.h"

#include <utility>

namespace bypassctl {
namespace {

// For now a simulated board is a floating bus: every read answers all ones
// and writes go nowhere, which runs every board sequence to its end.
class FloatingBusBoard : public BoardSimulator {
public:
    explicit FloatingBusBoard(std::string product)
        : m_product(std::move(product))
    {
    }

    const std::string& ProductName() const override { return m_product; }
    bypass::PortBackend& Ports() override { return m_ports; }

private:
    std::string m_product;
    bypass::TraceBackend m_ports;
};

const BoardSimulator* g_reportingBoard = nullptr;

std::string ReportedProductName() { return g_reportingBoard->ProductName(); }

} // namespace

std::unique_ptr<BoardSimulator> MakeBoardSimulator(int /*type*/, const std::string& product)
{
    // Every type plays the floating bus until boards have models of their own.
    return std::make_unique<FloatingBusBoard>(product);
}

SimulatedProductName::SimulatedProductName(const BoardSimulator& board)
{
    g_reportingBoard = &board;
    m_previous = bypass::SetProductNameSource(ReportedProductName);
}

SimulatedProductName::~SimulatedProductName()
{
    bypass::SetProductNameSource(m_previous);
    g_reportingBoard = nullptr;
}

} // namespace bypassctl
