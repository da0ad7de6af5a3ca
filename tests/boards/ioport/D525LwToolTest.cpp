#include "boards/ioport/D525LwTool.h"
#include "support/TraceTest.h"

#include <string>

namespace {

using std::string;

// One register access: a whole cycle of entry key, logical device 7, the
// access, and a plain write of the exit bit.
const string kEnterAndSelect = "out8 2E 87\n out8 2E 01\n out8 2E 55\n out8 2E 55\n"
                               "out8 2E 07\n out8 2F 07\n";
const string kExit = "out8 2E 02\n out8 2F 02\n";
string Write(const string& reg, const string& value)
{
    return kEnterAndSelect + "out8 2E " + reg + "\n out8 2F " + value + "\n" + kExit;
}
string Read(const string& reg)
{
    return kEnterAndSelect + "out8 2E " + reg + "\n in8 2F -> 41\n" + kExit;
}

const char* kDisableBypass = R"(
    in8 801 -> 00    # segment 16 relay to normal
    out8 801 08
    in8 801 -> 08    # segment 32 relay to normal, from a fresh read
    out8 801 18
)";

using D525Lw = bypass::test::TraceTest;

TEST_F(D525Lw, InitMakesThePinsOutputsIn21CyclesAndAnswersOneEvenWithoutDriver)
{
    CD525_ByapssTool_LW tool(5001);
    ports.SetValue(0x2F, 0x41);
    ports.SetOpenResult(-1);
    EXPECT_EQ(tool.init(), 1);
    EXPECT_TRACE("open -> -1\n" + Write("73", "00") + Read("26") + Write("26", "DD") + Read("28")
        + Write("28", "C1") + Read("29") + Write("29", "45") + Read("C1") + Write("C1", "DD")
        + Read("C9") + Write("C9", "DD") + Read("C3") + Write("C3", "C1") + Read("CB")
        + Write("CB", "C1") + Read("C4") + Write("C4", "45") + Read("CC") + Write("CC", "45")
        + Read("72") + Write("72", "01"));
}

TEST_F(D525Lw, BypassSetsTheModeLinesBeforeEachRelayAndArmingOnlyLeavesBypass)
{
    CD525_ByapssTool_LW tool(5001);
    ports.Script(0x801, {0x80, 0xFF, 0xFF});
    ports.Script(0x803, {0x00});
    ports.Script(0x804, {0xFF});
    EXPECT_EQ(tool.EnableBypass(), 0);
    EXPECT_TRACE(R"(
        in8 801 -> 80    # segment 16 mode lines: bit 6 high, bit 7 low
        out8 801 40
        in8 801 -> FF    # segment 16 relay to bypass
        out8 801 F7
        in8 803 -> 00    # segment 32 mode lines
        out8 803 80
        in8 804 -> FF
        out8 804 FB
        in8 801 -> FF    # segment 32 relay to bypass
        out8 801 EF
    )");

    ports.Script(0x801, {0x00, 0x08});
    EXPECT_EQ(tool.DisableBypass(), 0);
    EXPECT_TRACE(kDisableBypass);
    ports.Script(0x801, {0x00, 0x08});
    EXPECT_EQ(tool.SetWDTTimeout_Bypass(0, 30), 0);
    EXPECT_EQ(tool.GetTimeoutSecond(), 30);
    EXPECT_TRACE(kDisableBypass);

    EXPECT_EQ(tool.DisableWDT(), 0);
    EXPECT_EQ(tool.EnableWDT(), 0);
    EXPECT_EQ(tool.IsSupportWDT(), 0);
}

} // namespace
