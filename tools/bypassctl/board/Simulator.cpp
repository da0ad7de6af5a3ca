#include "board/Simulator.h"

#include <utility>

namespace bypassctl {
namespace {

const std::string* g_reportedProduct = nullptr;

std::string ReportedProductName() { return *g_reportedProduct; }

} // namespace

BoardSimulator::BoardSimulator(int modelType, std::string product)
    : m_product(std::move(product))
    , m_model(bypass::sim::CreateBoardModel(modelType))
{
    g_reportedProduct = &m_product;
    m_previous = bypass::SetProductNameSource(ReportedProductName);
}

BoardSimulator::~BoardSimulator()
{
    bypass::SetProductNameSource(m_previous);
    g_reportedProduct = nullptr;
}

ModelledState BoardSimulator::State() const
{
    return {m_model->Relays(), m_model->Watchdog(), m_model->Restarts()};
}

} // namespace bypassctl
