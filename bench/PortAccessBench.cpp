// The cost of one port access, as a host sees it: the D525-NEXCOM tool's
// EnableBypass is a single 8-bit write, so one call is one access plus the
// virtual call. Built twice from this source: against the DLL and the
// PortTalk driver, and against the static library with the recording
// backend installed, so that both figures are measured the same way.
#include "framework/BypassToolManager.h"

#if defined(BENCH_TRACE_BACKEND)
#include "portio/TraceBackend.h"
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

constexpr int kBatches = 101;
constexpr int kCallsPerBatch = 100;

double NanosecondsPerCall(CBypassTool& tool)
{
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    for (int i = 0; i < kCallsPerBatch; ++i)
        tool.EnableBypass();
    const std::chrono::duration<double, std::nano> spent = Clock::now() - start;
    return spent.count() / kCallsPerBatch;
}

} // namespace

int main()
{
#if defined(BENCH_TRACE_BACKEND)
    bypass::TraceBackend recorder;
    bypass::SetPortBackend(&recorder);
    const char* through = "recording backend";
#else
    const char* through = "DLL and PortTalk driver";
#endif
    CBypassToolManager manager;
    CBypassTool* tool = manager.CreateBypassTool(4);
    std::vector<double> perCall;
    for (int batch = 0; batch < kBatches; ++batch) {
        perCall.push_back(NanosecondsPerCall(*tool));
#if defined(BENCH_TRACE_BACKEND)
        recorder.ClearTrace(); // keep the recording from growing between batches
#endif
    }
    std::nth_element(perCall.begin(), perCall.begin() + kBatches / 2, perCall.end());
    std::printf("one port access through the %s: median %.0f ns (%d batches of %d)\n", through,
        perCall[kBatches / 2], kBatches, kCallsPerBatch);
    return 0;
}
