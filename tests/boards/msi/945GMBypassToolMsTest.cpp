#include "boards/msi/945GMBypassToolMs.h"
#include "boards/msi/MsiTraces.h"
#include "support/TraceTest.h"

namespace {

using namespace bypass::test;
using GM945Ms = TraceTest;

TEST_F(GM945Ms, BypassForcesExpiryOnTheSelectedDeviceAndNormalSelectsDevice8)
{
    C945GMBypassTool_MS tool(3);
    ports.Script(0x4F, {0x50, 0x07, 0x5B});
    ports.SetValue(0x5E, 0xF7);
    EXPECT_EQ(tool.EnableBypass(), 0);
    EXPECT_EQ(tool.DisableBypass(), 0);
    EXPECT_TRACE(kEnter + kForceExpiry + R"(
        in8 5E -> F7
        out8 5E 0F    # all four relay bits, upper nibble 0
    )" + kExit
        + kEnter + kSelectDevice8 + kClearStatus + Write("F6", "00") + R"(
        in8 5E -> F7
        out8 5E 04    # bits 2 and 3 as read, the rest 0
    )" + kExit);
}

TEST_F(GM945Ms, ArmingForBypassSwitchesThePortFirstAndRestartAnswersMinusOne)
{
    C945GMBypassTool_MS tool(3);
    ports.Script(0x4F, {0x07, 0x5B, 0x07, 0x5B, 0x07, 0x5B});
    ports.SetValue(0x5E, 0xF3);
    EXPECT_EQ(tool.SetWDTTimeout_Bypass(0, 10), 0);
    EXPECT_EQ(tool.SetWDTTimeout_ResartSys(0, 10), -1);
    EXPECT_EQ(tool.GetTimeoutSecond(), 10);
    EXPECT_TRACE(kEnter + "in8 5E -> F3\nout8 5E 00\n" + kSelectDevice8 + Arm("00", "0A") + kExit
        + kEnter + kSelectDevice8 + Arm("02", "0A") + kExit);
    EXPECT_EQ(tool.SetWDTTimeout_ResartSys_Again(0), -1);
}

} // namespace
