#include "Simulator.h"

#include <utility>

namespace bypassctl {
namespace {

class ModelledBoard : public BoardSimulator {
public:
    ModelledBoard(std::unique_ptr<bypass::sim::BoardModel> model, std::string product)
        : m_product(std::move(product))
        , m_model(std::move(model))
    {
    }

    const std::string& ProductName() const override { return m_product; }
    bypass::PortBackend& Ports() override { return *m_model; }
    ModelledState State() const override
    {
        return {m_model->Relays(), m_model->Watchdog(), m_model->Restarts()};
    }
    void Pass(unsigned long long ms) override { m_model->Advance(ms); }

private:
    std::string m_product;
    std::unique_ptr<bypass::sim::BoardModel> m_model;
};

const BoardSimulator* g_reportingBoard = nullptr;

std::string ReportedProductName() { return g_reportingBoard->ProductName(); }

} // namespace

std::unique_ptr<BoardSimulator> MakeBoardSimulator(int modelType, const std::string& product)
{
    return std::make_unique<ModelledBoard>(bypass::sim::CreateBoardModel(modelType), product);
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
