#include "boards/ioport/G41NexcomTool.h"
#include "support/TraceTest.h"

namespace {

class G41Nexcom : public bypass::test::TraceTest {
protected:
    // The board logic's answers are read and thrown away; give them values
    // that would show in a write that used them.
    void SetUp() override
    {
        TraceTest::SetUp();
        ports.SetValue(0xF2, 0x5A);
        ports.SetValue(0xF3, 0x5A);
    }
};

TEST_F(G41Nexcom, ControlBytesFollowTheTypeTheToolWasCreatedWith)
{
    C_G41_BypassTool_NEXCOM nsa3110(7);
    EXPECT_EQ(nsa3110.DisableWDT(), 0);
    EXPECT_EQ(nsa3110.EnableBypass(), 0);
    EXPECT_EQ(nsa3110.SetWDTTimeout_Bypass(0, 0), 0);
    EXPECT_EQ(nsa3110.GetTimeoutSecond(), 0);
    EXPECT_TRACE(R"(
        in8 F3 -> 5A    # DisableWDT: normal
        out8 F3 B7
        in8 F3 -> 5A    # EnableBypass
        out8 F3 77
        in8 F2 -> 5A    # SetWDTTimeout_Bypass with 0 s
        out8 F2 00
        in8 F3 -> 5A
        out8 F3 F7
    )");

    C_G41_BypassTool_NEXCOM eaglelake(8);
    EXPECT_EQ(eaglelake.GetBypassType(), 8);
    eaglelake.EnableBypass();
    eaglelake.DisableBypass();
    eaglelake.SetWDTTimeout_ResartSys(0, 0);
    EXPECT_TRACE(R"(
        in8 F3 -> 5A
        out8 F3 7E
        in8 F3 -> 5A
        out8 F3 BE
        in8 F2 -> 5A
        out8 F2 00
        in8 F3 -> 5A
        out8 F3 FE
    )");
}

TEST_F(G41Nexcom, TimeoutCodeGoesToPortF2AndOnlyArmingWritesTheControlByte)
{
    C_G41_BypassTool_NEXCOM tool(7);
    EXPECT_EQ(tool.IsSupportWDT(), 1);
    EXPECT_EQ(tool.EnableWDT(), 0); // default 5 s
    EXPECT_EQ(tool.SetWDTTimeout_ResartSys(9, 30), 0);
    EXPECT_EQ(tool.SetWDTTimeout_Bypass(0, -7), 0);
    EXPECT_EQ(tool.GetTimeoutSecond(), -7);
    tool.EnableWDT();
    EXPECT_TRACE(R"(
        in8 F2 -> 5A    # EnableWDT with 5 s
        out8 F2 03
        in8 F2 -> 5A    # restart arming with 30 s
        out8 F2 05
        in8 F3 -> 5A
        out8 F3 F7
        in8 F2 -> 5A    # bypass arming with -7 s: code 1
        out8 F2 01
        in8 F3 -> 5A
        out8 F3 F7
        in8 F2 -> 5A    # EnableWDT with the stored -7 s
        out8 F2 01
    )");
}

} // namespace
