// Measures what the library adds to the board protocols: for every board
// type and operation, the port accesses it makes, the pauses its protocol
// demands, and the wall time it takes when the pauses really sleep. Also the
// cost of one access through the port seam. Reads are answered by the
// recording backend, so no real port is touched; only the sleeps are real.
//
// Output: a Markdown table on standard output (see scripts/perf-report.sh).
#include "framework/BypassInfo.h"
#include "framework/BypassToolManager.h"
#include "framework/ToolFactory.h"
#include "portio/TraceBackend.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The recording backend whose pauses take real time on the platform's own
// sleep (which touches no port).
class SleepingBackend : public bypass::TraceBackend {
public:
    void SleepMs(unsigned ms) override
    {
        bypass::TraceBackend::SleepMs(ms);
        bypass::PlatformPortBackend().SleepMs(ms);
    }
};

struct Operation {
    const char* name;
    std::function<void(CBypassTool&)> run;
};

const std::vector<Operation> kOperations = {
    {"init", [](CBypassTool& tool) { tool.init(); }},
    {"DisableWDT", [](CBypassTool& tool) { tool.DisableWDT(); }},
    {"EnableWDT", [](CBypassTool& tool) { tool.EnableWDT(); }},
    {"SetWDTTimeout_Bypass(0, 30)", [](CBypassTool& tool) { tool.SetWDTTimeout_Bypass(0, 30); }},
    {"SetWDTTimeout_ResartSys(0, 30)",
        [](CBypassTool& tool) { tool.SetWDTTimeout_ResartSys(0, 30); }},
    {"EnableBypass", [](CBypassTool& tool) { tool.EnableBypass(); }},
    {"DisableBypass", [](CBypassTool& tool) { tool.DisableBypass(); }},
};

double Milliseconds(Clock::duration elapsed)
{
    return std::chrono::duration<double, std::milli>(elapsed).count();
}

// Median nanoseconds of one 8-bit write through the seam, over batches.
double SeamAccessNs(bypass::TraceBackend& backend)
{
    constexpr int kBatch = 10000;
    std::vector<double> perAccess;
    for (int round = 0; round < 25; ++round) {
        backend.ClearTrace();
        const auto start = Clock::now();
        for (int i = 0; i < kBatch; ++i)
            outportb(0x4E, static_cast<std::uint8_t>(i));
        perAccess.push_back(Milliseconds(Clock::now() - start) * 1e6 / kBatch);
    }
    std::sort(perAccess.begin(), perAccess.end());
    return perAccess[perAccess.size() / 2];
}

// Accesses of a trace: every line but the sleeps and the driver's open and
// close.
int CountAccesses(const std::vector<std::string>& lines)
{
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.rfind("in", 0) == 0 || line.rfind("out", 0) == 0;
    }));
}

} // namespace

int main(int argc, char** argv)
{
    const bool quick = argc > 1 && std::strcmp(argv[1], "--seam-only") == 0;
    SleepingBackend ports;
    bypass::SetPortBackend(&ports);

    std::printf("seam access, recording backend: %.1f ns (median of 25 batches of 10000)\n\n",
        SeamAccessNs(ports));
    if (quick)
        return 0;

    std::printf("| type | tool | operation | accesses | demanded sleep (ms) | measured (ms) | "
                "ratio |\n|---|---|---|---|---|---|---|\n");
    double worst = 0;
    for (const bypass_info& row : g_bypass_info_array) {
        if (row.type <= 0)
            continue;
        CBypassTool* tool = bypass::MakeBypassTool(row.type);
        for (const Operation& operation : kOperations) {
            ports.ClearTrace();
            const unsigned long long sleptBefore = ports.SleptMs();
            const auto start = Clock::now();
            operation.run(*tool);
            const double measured = Milliseconds(Clock::now() - start);
            const double demanded = static_cast<double>(ports.SleptMs() - sleptBefore);
            const double ratio = demanded > 0 ? measured / demanded : 0;
            if (demanded >= 100)
                worst = std::max(worst, ratio);
            std::printf("| %d | %s | %s | %d | %.0f | %.1f | %s |\n", row.type,
                bypass::BypassToolClassName(row.type), operation.name, CountAccesses(ports.Lines()),
                demanded, measured,
                demanded > 0 ? std::to_string(ratio).substr(0, 5).c_str() : "-");
        }
        tool->fini();
        delete tool;
    }
    std::printf("\nworst ratio of measured to demanded time (operations sleeping 100 ms or more): "
                "%.4f\n",
        worst);
    bypass::SetPortBackend(nullptr);
    return 0;
}
