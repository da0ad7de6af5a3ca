// Measures what the library adds to the board protocols: for every board
// type and operation, the port accesses it makes, the pauses its protocol
// demands, and the wall time it takes when the pauses really sleep. Each
// board is its hardware model, so every sequence runs as on the appliance
// (the SMBus controller answers, latches see their gates open); no real
// port is touched, only the sleeps are real. Also the cost of one access
// through the port seam, with the recording backend and with a model.
//
// Output: Markdown on standard output (scripts/perf-report.sh collects it).
#include "framework/BypassInfo.h"
#include "framework/ToolFactory.h"
#include "portio/TraceBackend.h"
#include "sim/BoardModel.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A board model whose pauses also take real time, on the platform's own
// sleep (which touches no port); counts what passes through.
class RealTimeBoard : public bypass::PortBackend {
public:
    explicit RealTimeBoard(bypass::sim::BoardModel& model)
        : m_model(model)
    {
    }
    int Open() override { return m_model.Open(); }
    void Close() override { m_model.Close(); }
    std::uint8_t In8(std::uint16_t port) override { return ++accesses, m_model.In8(port); }
    std::uint16_t In16(std::uint16_t port) override { return ++accesses, m_model.In16(port); }
    std::uint32_t In32(std::uint32_t port) override { return ++accesses, m_model.In32(port); }
    void Out8(std::uint16_t port, std::uint8_t value) override
    {
        ++accesses, m_model.Out8(port, value);
    }
    void Out16(std::uint16_t port, std::uint16_t value) override
    {
        ++accesses, m_model.Out16(port, value);
    }
    void Out32(std::uint32_t port, std::uint32_t value) override
    {
        ++accesses, m_model.Out32(port, value);
    }
    void SleepMs(unsigned ms) override
    {
        m_model.SleepMs(ms);
        demandedMs += ms;
        bypass::PlatformPortBackend().SleepMs(ms);
    }

    unsigned long long accesses = 0;
    unsigned long long demandedMs = 0;

private:
    bypass::sim::BoardModel& m_model;
};

struct Operation {
    const char* name;
    std::function<void(CBypassTool&)> run;
};

const std::vector<Operation> kOperations = {
    {"init", [](CBypassTool& tool) { tool.init(); }},
    {"SetWDTTimeout_Bypass(0, 30)", [](CBypassTool& tool) { tool.SetWDTTimeout_Bypass(0, 30); }},
    {"SetWDTTimeout_ResartSys(0, 30)",
        [](CBypassTool& tool) { tool.SetWDTTimeout_ResartSys(0, 30); }},
    {"EnableWDT", [](CBypassTool& tool) { tool.EnableWDT(); }},
    {"DisableWDT", [](CBypassTool& tool) { tool.DisableWDT(); }},
    {"EnableBypass", [](CBypassTool& tool) { tool.EnableBypass(); }},
    {"DisableBypass", [](CBypassTool& tool) { tool.DisableBypass(); }},
};

double Milliseconds(Clock::duration elapsed)
{
    return std::chrono::duration<double, std::milli>(elapsed).count();
}

// Median nanoseconds of one 8-bit access through the seam, over batches;
// between batches the backend may drop what it kept.
double SeamAccessNs(bypass::PortBackend& backend, const std::function<void()>& betweenBatches)
{
    constexpr int kBatch = 10000;
    bypass::PortBackend* previous = bypass::SetPortBackend(&backend);
    std::vector<double> perAccess;
    for (int round = 0; round < 25; ++round) {
        betweenBatches();
        const auto start = Clock::now();
        for (int i = 0; i < kBatch; ++i)
            outportb(0x4E, static_cast<std::uint8_t>(i));
        perAccess.push_back(Milliseconds(Clock::now() - start) * 1e6 / kBatch);
    }
    bypass::SetPortBackend(previous);
    std::sort(perAccess.begin(), perAccess.end());
    return perAccess[perAccess.size() / 2];
}

void PrintSeamCosts()
{
    bypass::TraceBackend recorder;
    auto model = bypass::sim::CreateBoardModel(6);
    std::printf("| backend | one access through the seam (median ns) |\n|---|---|\n");
    std::printf(
        "| recording backend | %.1f |\n", SeamAccessNs(recorder, [&] { recorder.ClearTrace(); }));
    std::printf("| board model (G41-MS) | %.1f |\n\n", SeamAccessNs(*model, [] {}));
}

// Runs every operation of every board once with real pauses; answers the
// worst ratio of measured to demanded time among operations that pause.
double PrintBoardTimings()
{
    std::printf("| type | tool | operation | accesses | demanded sleep (ms) | measured (ms) | "
                "ratio |\n|---|---|---|---|---|---|---|\n");
    double worst = 0;
    for (const bypass_info& row : g_bypass_info_array) {
        if (row.type <= 0)
            continue;
        auto model = bypass::sim::CreateBoardModel(row.type);
        RealTimeBoard board(*model);
        bypass::PortBackend* previous = bypass::SetPortBackend(&board);
        std::unique_ptr<CBypassTool> tool(bypass::MakeBypassTool(row.type));
        for (const Operation& operation : kOperations) {
            board.accesses = 0;
            board.demandedMs = 0;
            const auto start = Clock::now();
            operation.run(*tool);
            const double measured = Milliseconds(Clock::now() - start);
            const double demanded = static_cast<double>(board.demandedMs);
            char ratio[16] = "-";
            if (demanded > 0) {
                std::snprintf(ratio, sizeof ratio, "%.3f", measured / demanded);
                worst = std::max(worst, measured / demanded);
            }
            std::printf("| %d | %s | %s | %llu | %.0f | %.1f | %s |\n", row.type,
                bypass::BypassToolClassName(row.type), operation.name, board.accesses, demanded,
                measured, ratio);
        }
        tool->fini();
        bypass::SetPortBackend(previous);
    }
    return worst;
}

} // namespace

int main()
{
    PrintSeamCosts();
    const double worst = PrintBoardTimings();
    std::printf("\nWorst ratio of measured to demanded time: %.3f\n", worst);
    return 0;
}
