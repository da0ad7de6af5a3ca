#include "boards/lanxus/D525BypassToolLanxus.h"
#include "boards/lanxus/H61BypassToolLanxus.h"
#include "support/TraceTest.h"

#include <string>

namespace {

using LanxusWatchdog = bypass::test::TraceTest;

// EnableWDT: entry key, the count into 0x73, 0 into 0x74, leave. It neither
// selects a device nor touches 0x71 and 0x72.
std::string Reload(const std::string& count)
{
    return R"(
        out8 2E 87
        out8 2E 01
        out8 2E 55
        out8 2E 55
        out8 2E 73
        out8 2F )"
        + count + R"(
        out8 2E 74
        out8 2F 00
        out8 2E 02
        out8 2F 02
    )";
}

TEST_F(LanxusWatchdog, EnableWdtWritesTheLowByteOfTheStoredTimeoutAlikeOnBothBoards)
{
    C_H61_BypassTool_Lanxus h61(10);
    C_D525_BypassTool_Lanxus d525(11);
    for (CBypassTool* tool : {static_cast<CBypassTool*>(&h61), static_cast<CBypassTool*>(&d525)}) {
        EXPECT_EQ(tool->EnableWDT(), 0);
        EXPECT_TRACE(Reload("05"));
        const struct {
            int seconds;
            const char* count;
        } wraps[] = {{300, "2C"}, {256, "00"}, {255, "FF"}, {0, "00"}, {-1, "FF"}};
        for (const auto& wrap : wraps) {
            tool->SetWDTTimeout_ResartSys(0, wrap.seconds);
            ports.ClearTrace();
            EXPECT_EQ(tool->EnableWDT(), 0);
            EXPECT_TRACE(Reload(wrap.count)) << wrap.seconds;
            EXPECT_EQ(tool->GetTimeoutSecond(), wrap.seconds);
        }
    }
}

} // namespace
