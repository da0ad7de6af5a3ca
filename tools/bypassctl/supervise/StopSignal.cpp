#include "supervise/StopSignal.h"

#include "supervise/StopRequests.h"

#include <chrono>
#include <thread>

namespace bypassctl {
namespace {

class PlatformStopSignal : public StopSignal {
public:
    void Listen() override { CatchStopRequests(); }

    bool WaitFor(unsigned seconds) override
    {
        // Short slices, so a stop is acted on within a tenth of a second.
        constexpr auto kSlice = std::chrono::milliseconds(100);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!StopRequested() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(kSlice);
        return StopRequested();
    }
};

} // namespace

StopSignal& ProcessStopSignal()
{
    static PlatformStopSignal signal;
    return signal;
}

} // namespace bypassctl
