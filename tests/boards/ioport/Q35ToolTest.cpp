#include "boards/ioport/Q35Tool.h"
#include "support/TraceTest.h"

#include <string>

namespace {

using std::string;

// The Super I/O's traffic, paced as the chip needs it: 2 ms after each of the
// first three key bytes, 1 ms between the steps of a register access.
const string kEnter = "out8 2E 87\n sleep 2\n out8 2E 01\n sleep 2\n out8 2E 55\n sleep 2\n"
                      "out8 2E 55\n";

string SelectAndIndex(const string& reg)
{
    return "out8 2E 07\n sleep 1\n out8 2F 07\n sleep 1\n out8 2E " + reg + "\n sleep 1\n";
}
string Write(const string& reg, const string& value)
{
    return SelectAndIndex(reg) + "out8 2F " + value + "\n";
}
string Read(const string& reg, const string& answer)
{
    return SelectAndIndex(reg) + "in8 2F -> " + answer + "\n";
}

// Every read of port 0x2F answers 01 and every read of 0xA21 answers 5A.
const string kExit = "out8 2E 02\n in8 2F -> 01\n out8 2F 03\n";
const string kReset = kEnter + Write("73", "00") + Write("74", "00") + Write("71", "00")
    + Read("26", "01") + Write("26", "81") + Read("C1", "01") + Write("C1", "81") + Read("B9", "01")
    + Write("B9", "81") + Read("C9", "01") + Write("C9", "81")
    + "in8 A21 -> 5A\n out8 A21 DA\n sleep 100\n" // pulse: high,
    + "in8 A21 -> 5A\n out8 A21 5A\n sleep 100\n" // low,
    + "in8 A21 -> 5A\n out8 A21 DA\n sleep 100\n" // high again
    + kExit;
string Start(const string& timeout)
{
    return kEnter + Write("72", "90") + Write("73", timeout) + kExit;
}

class Q35 : public bypass::test::TraceTest {
protected:
    void SetUp() override
    {
        TraceTest::SetUp();
        ports.SetValue(0x2F, 0x01);
        ports.SetValue(0xA21, 0x5A);
    }
    CQ35BypassTool tool{2};
};

TEST_F(Q35, InitAndDisableWdtStopTheWatchdogAndPulseThePin)
{
    EXPECT_EQ(tool.init(), 1);
    EXPECT_TRACE("open -> 0\n" + kReset);
    ports.SetOpenResult(-1);
    EXPECT_EQ(tool.init(), 1);
    EXPECT_TRACE("open -> -1\n" + kReset);
    EXPECT_EQ(tool.DisableWDT(), 0);
    EXPECT_TRACE(kReset);
}

TEST_F(Q35, ArmingStopsRoutesExpiryThroughPort48FAndStartsWithTheLowByte)
{
    EXPECT_EQ(tool.IsSupportWDT(), 1);
    EXPECT_EQ(tool.EnableWDT(), 0); // default 5 s, routing untouched
    EXPECT_TRACE(Start("05"));

    ports.Script(0x48F, {0xFF, 0x00});
    EXPECT_EQ(tool.SetWDTTimeout_Bypass(0, 300), 0);
    EXPECT_EQ(tool.GetTimeoutSecond(), 300);
    EXPECT_TRACE(
        kReset + "in8 48F -> FF\n out8 48F F6\n in8 48F -> 00\n out8 48F 09\n" + Start("2C"));

    ports.Script(0x48F, {0xFF, 0x00});
    EXPECT_EQ(tool.SetWDTTimeout_ResartSys(0, 256), 0);
    EXPECT_TRACE(
        kReset + "in8 48F -> FF\n out8 48F F6\n in8 48F -> 00\n out8 48F 01\n" + Start("00"));
}

TEST_F(Q35, RelaysMove5msAfterTheWatchdogStops)
{
    ports.Script(0x48F, {0xFF, 0x0F, 0xFF, 0xF0});
    EXPECT_EQ(tool.EnableBypass(), 0);
    EXPECT_EQ(tool.DisableBypass(), 0);
    EXPECT_TRACE(kReset + "sleep 5\n in8 48F -> FF\n out8 48F F6\n in8 48F -> 0F\n out8 48F 0E\n"
        + kReset + "sleep 5\n in8 48F -> FF\n out8 48F F6\n in8 48F -> F0\n out8 48F F1\n");
}

} // namespace
