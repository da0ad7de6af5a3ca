#include "boards/ioport/C1045Tool.h"
#include "support/TraceTest.h"

namespace {

using C1045 = bypass::test::TraceTest;

TEST_F(C1045, ArmingKeepsBits7To5AndSetsOneExpiryBitWithTheCode)
{
    C1045BypassTool tool(1);
    ports.Script(0xF2, {0xA0, 0xFF, 0x0F, 0x17});
    EXPECT_EQ(tool.SetWDTTimeout_Bypass(0, 5), 0);
    EXPECT_EQ(tool.SetWDTTimeout_ResartSys(0, 64), 0);
    EXPECT_EQ(tool.SetWDTTimeout_Bypass(0, 8), 0);
    EXPECT_EQ(tool.SetWDTTimeout_ResartSys_Again(0), 0);
    EXPECT_EQ(tool.GetTimeoutSecond(), 8);
    EXPECT_TRACE(R"(
        in8 F2 -> A0    # bypass, 5 s: code 4
        out8 F2 B4
        in8 F2 -> FF    # restart, 64 s: code 0
        out8 F2 E8
        in8 F2 -> 0F    # bypass, 8 s: bit 3 cleared, code 3
        out8 F2 13
        in8 F2 -> 17    # restart, the stored 8 s: bit 4 cleared
        out8 F2 0B
    )");
}

TEST_F(C1045, TimeoutsOutside1To64AreStoredAndRefusedWithoutAnyAccess)
{
    C1045BypassTool tool(1);
    EXPECT_EQ(tool.SetWDTTimeout_Bypass(0, 65), -1);
    EXPECT_EQ(tool.GetTimeoutSecond(), 65);
    EXPECT_EQ(tool.SetWDTTimeout_Bypass_Again(0), -1);
    EXPECT_EQ(tool.SetWDTTimeout_Bypass(0, 0), -1);
    EXPECT_EQ(tool.GetTimeoutSecond(), 0);
    EXPECT_EQ(tool.SetWDTTimeout_ResartSys(0, -1), -1);
    EXPECT_EQ(tool.GetTimeoutSecond(), -1);
    EXPECT_TRACE("");
}

TEST_F(C1045, BypassAndStopRewriteTheLowBitsAndEnableWdtOnlyReads)
{
    C1045BypassTool tool(1);
    EXPECT_EQ(tool.IsSupportWDT(), 1);
    ports.Script(0xF2, {0xE9, 0xFF, 0x3F, 0x12});
    EXPECT_EQ(tool.EnableBypass(), 0);
    EXPECT_EQ(tool.DisableBypass(), 0);
    EXPECT_EQ(tool.DisableWDT(), 0);
    EXPECT_EQ(tool.EnableWDT(), 0);
    EXPECT_TRACE(R"(
        in8 F2 -> E9    # EnableBypass: bits 3 and 0 cleared, 4, 2 and 1 set
        out8 F2 F6
        in8 F2 -> FF    # DisableBypass
        out8 F2 E0
        in8 F2 -> 3F    # DisableWDT
        out8 F2 20
        in8 F2 -> 12    # EnableWDT
    )");
}

} // namespace
