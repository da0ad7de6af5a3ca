// The cost of one port access through the seam: board code calls a free
// function, which forwards to the current backend through one virtual call.
#include "portio/TraceBackend.h"

#include <benchmark/benchmark.h>

namespace {

// A backend that only counts, to show the seam's own cost.
class CountingBackend : public bypass::PortBackend {
public:
    int Open() override { return 0; }
    void Close() override { }
    std::uint8_t In8(std::uint16_t) override { return static_cast<std::uint8_t>(++count); }
    std::uint16_t In16(std::uint16_t) override { return static_cast<std::uint16_t>(++count); }
    std::uint32_t In32(std::uint32_t) override { return ++count; }
    void Out8(std::uint16_t, std::uint8_t) override { ++count; }
    void Out16(std::uint16_t, std::uint16_t) override { ++count; }
    void Out32(std::uint32_t, std::uint32_t) override { ++count; }
    void SleepMs(unsigned) override { }
    std::uint32_t count = 0;
};

void SeamWithCountingBackend(benchmark::State& state)
{
    CountingBackend backend;
    bypass::PortBackend* previous = bypass::SetPortBackend(&backend);
    for (auto _ : state)
        benchmark::DoNotOptimize(inportb(0x4F));
    bypass::SetPortBackend(previous);
}
BENCHMARK(SeamWithCountingBackend);

void SeamWithRecordingBackend(benchmark::State& state)
{
    bypass::TraceBackend backend;
    bypass::PortBackend* previous = bypass::SetPortBackend(&backend);
    int sinceClear = 0;
    for (auto _ : state) {
        outportb(0x4E, 0x87);
        if (++sinceClear == 100000) { // keep the recording from growing without end
            state.PauseTiming();
            backend.ClearTrace();
            sinceClear = 0;
            state.ResumeTiming();
        }
    }
    bypass::SetPortBackend(previous);
}
BENCHMARK(SeamWithRecordingBackend);

} // namespace
