// Runs the library's own init once and prints its answer ("init -> 1" when
// the PortTalk device is open), then closes the device again. The first-use
// scenario runs it on a fresh Wine prefix and reads what the library printed
// on the way.
#include "framework/BypassTool.h"

#include <cstdio>

namespace {

// A tool with no board behind it: only the exported base init and fini run.
class InitProbe : public CBypassTool {
public:
    InitProbe()
        : CBypassTool(0)
    {
    }
    int DisableWDT() override { return 0; }
    int EnableWDT() override { return 0; }
    int SetWDTTimeout_Bypass(int, int) override { return 0; }
    int SetWDTTimeout_ResartSys(int, int) override { return 0; }
    int EnableBypass() override { return 0; }
    int DisableBypass() override { return 0; }
    int IsSupportWDT() override { return 0; }
};

} // namespace

int main()
{
    InitProbe probe;
    std::printf("init -> %d\n", probe.init());
    probe.fini();
    return 0;
}
