#include "boards/msi/945GCBypassToolMs.h"
#include "boards/msi/MsiTraces.h"
#include "support/TraceTest.h"

namespace {

using namespace bypass::test;
using GC945Ms = TraceTest;

TEST_F(GC945Ms, BypassSwitchesRelayBitsAroundTheWatchdogStepsAndAnswersMinusOne)
{
    C_945GC_BypassTool_MS tool(5);
    ports.Script(0x4F, {0x07, 0x50, 0x07, 0x5B});
    ports.Script(0x5E, {0xF0, 0xF3});
    EXPECT_EQ(tool.EnableBypass(), -1);
    EXPECT_EQ(tool.DisableBypass(), -1);
    // relays before the forced expiry; the counter zeroed before the status clear
    EXPECT_TRACE(kEnter + kSelectDevice8 + "in8 5E -> F0\nout8 5E F3\n" + kForceExpiry + kExit
        + kEnter + kSelectDevice8 + "in8 5E -> F3\nout8 5E F0\n" + Write("F6", "00") + kClearStatus
        + kExit);
}

TEST_F(GC945Ms, ArmingForBypassClearsTheRelayBitsFirstAndRestartLeavesThem)
{
    C_945GC_BypassTool_MS tool(5);
    ports.Script(0x4F, {0x07, 0x5B, 0x07, 0x5B});
    ports.SetValue(0x5E, 0xF3);
    EXPECT_EQ(tool.SetWDTTimeout_ResartSys(0, 60), 0);
    EXPECT_EQ(tool.SetWDTTimeout_Bypass(0, 60), 0);
    EXPECT_TRACE(kEnter + kSelectDevice8 + Arm("02", "3C") + kExit + kEnter + kSelectDevice8
        + "in8 5E -> F3\nout8 5E F0\n" + Arm("00", "3C") + kExit);
}

} // namespace
