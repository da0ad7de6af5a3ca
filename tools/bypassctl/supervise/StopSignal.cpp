#include "supervise/StopSignal.h"

#include "supervise/StopRequests.h"

#include <chrono>

namespace bypassctl {
namespace {

class PlatformStopSignal : public StopSignal {
public:
    void Listen() override { CatchStopRequests(); }

    // Sleeps through the whole wait: a stop request wakes it at once.
    bool WaitFor(unsigned seconds) override
    {
        return AwaitStopRequest(std::chrono::seconds(seconds));
    }
};

} // namespace

StopSignal& ProcessStopSignal()
{
    static PlatformStopSignal signal;
    return signal;
}

} // namespace bypassctl
