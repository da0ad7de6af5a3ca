#include "boards/ioport/D525NexcomTool.h"
#include "support/TraceTest.h"

namespace {

using D525Nexcom = bypass::test::TraceTest;

TEST_F(D525Nexcom, BypassWatchdogAndRelaysAreSinglePlainWritesToTheBoardLogic)
{
    C_D525_BypassTool_NEXCOM tool(4);
    EXPECT_EQ(tool.IsSupportWDT(), 1);
    EXPECT_EQ(tool.EnableWDT(), 0); // default 5 s
    EXPECT_EQ(tool.SetWDTTimeout_Bypass(0, 1000), 0);
    EXPECT_EQ(tool.GetTimeoutSecond(), 1000);
    EXPECT_EQ(tool.SetWDTTimeout_Bypass(0, -5), 0);
    EXPECT_EQ(tool.GetTimeoutSecond(), -5);
    EXPECT_EQ(tool.DisableWDT(), 0);
    EXPECT_EQ(tool.EnableBypass(), 0);
    EXPECT_EQ(tool.DisableBypass(), 0);
    EXPECT_TRACE(R"(
        out8 F3 FF    # EnableWDT: arm, then code 3
        out8 F2 03
        out8 F3 FF    # 1000 s: code 7
        out8 F2 07
        out8 F3 FF    # -5 s: code 0
        out8 F2 00
                      # DisableWDT: nothing
        out8 F3 41    # EnableBypass
        out8 F3 81    # DisableBypass
    )");
}

TEST_F(D525Nexcom, RestartWatchdogTakesTheCodeInSuperIoRegister73)
{
    C_D525_BypassTool_NEXCOM tool(4);
    const char* restartWith60s = R"(
        out8 2E 87    # entry key
        out8 2E 01
        out8 2E 55
        out8 2E 55
        out8 2E 07    # logical device 7
        out8 2F 07
        out8 2E 73    # timeout: code 6, not seconds
        out8 2F 06
        out8 2E 72    # restart on expiry
        out8 2F C0
        out8 2E 02    # leave configuration mode
        out8 2F 02
    )";
    EXPECT_EQ(tool.SetWDTTimeout_ResartSys(0, 60), 0);
    EXPECT_TRACE(restartWith60s);
    EXPECT_EQ(tool.SetWDTTimeout_ResartSys_Again(0), 0);
    EXPECT_TRACE(restartWith60s);
    // EnableWDT always takes the bypass path, with the stored 60 s
    tool.EnableWDT();
    EXPECT_TRACE("out8 F3 FF\nout8 F2 06");
}

} // namespace
