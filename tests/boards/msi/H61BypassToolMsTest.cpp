#include "boards/msi/H61BypassToolMs.h"
#include "boards/msi/MsiTraces.h"
#include "support/TraceTest.h"

#include <string>

namespace {

using namespace bypass::test;

// Read-modify-write of one port.
std::string Rmw(const std::string& port, const std::string& read, const std::string& written)
{
    return "in8 " + port + " -> " + read + "\nout8 " + port + " " + written + "\n";
}

// SetPchGpio on a line of byte 1 of a bank, with the select registers
// reading 00, the direction registers FF and the level registers 83 (lines
// 32-63) and BD (lines 0-31).
std::string High(const std::string& mask, const std::string& notMask, const std::string& level)
{
    return Rmw("531", "00", mask) + Rmw("535", "FF", notMask) + Rmw("539", "83", level);
}
std::string Low(const std::string& mask, const std::string& notMask, const std::string& level)
{
    return Rmw("501", "00", mask) + Rmw("505", "FF", notMask) + Rmw("50D", "BD", level);
}

// One latch per segment: lines 44 and 45 low, 46 the segment, 42 and 9 the
// data, 43 high, then the strobe on line 14 for 200 ms.
std::string RelayState(const std::string& line42, const std::string& line9)
{
    std::string trace;
    for (const char* line46 : {"83", "C3"})
        trace += High("10", "EF", "83") + High("20", "DF", "83") + High("40", "BF", line46)
            + High("04", "FB", line42) + Low("02", "FD", line9) + High("08", "F7", "8B")
            + Low("40", "BF", "FD") + "sleep 200\n" + Low("40", "BF", "BD");
    return trace;
}
const std::string kBypassState = RelayState("87", "BF");
const std::string kNormalState = RelayState("87", "BD");
const std::string kRestartState = RelayState("83", "BD");

// Registers of device 7 are read and written through a fresh index each.
std::string Modify(const std::string& reg, const std::string& read, const std::string& written)
{
    return "out8 4E " + reg + "\nin8 4F -> " + read + "\n" + Write(reg, written);
}
const std::string kSelectDevice7 = Write("07", "07");

class H61Ms : public TraceTest {
protected:
    void SetUp() override
    {
        TraceTest::SetUp();
        ports.SetValue(0x501, 0x00);
        ports.SetValue(0x531, 0x00);
        ports.SetValue(0x50D, 0xBD);
        ports.SetValue(0x539, 0x83);
    }
    C_H61_BypassTool_MS tool{9};
};

TEST_F(H61Ms, DisableBypassStopsFirstAndPassesThroughBypassOnlyAfterExpiry)
{
    ports.Script(0x4F, {0x20, 0x81, 0x20, 0x60, 0x81, 0x60});
    EXPECT_EQ(tool.DisableBypass(), 0);
    EXPECT_TRACE(kEnter + kSelectDevice7 + "out8 4E F5\nin8 4F -> 20\n" + Modify("F0", "81", "00")
        + Modify("F5", "20", "40") + kNormalState + kExit);
    EXPECT_EQ(tool.DisableBypass(), 0);
    EXPECT_TRACE(kEnter + kSelectDevice7 + "out8 4E F5\nin8 4F -> 60\n" + Modify("F0", "81", "00")
        + Modify("F5", "60", "40") + kBypassState + kNormalState + kExit);
    EXPECT_EQ(ports.SleptMs(), 6 * 200u);
}

TEST_F(H61Ms, ArmingLatchesTheRelaysThenSetsModeEnableAndCounter)
{
    const std::string arm = Modify("F0", "00", "81") + Modify("F5", "40", "60");
    ports.Script(0x4F, {0x40, 0x00, 0x40});
    EXPECT_EQ(tool.SetWDTTimeout_Bypass(0, 30), 0);
    EXPECT_TRACE(kEnter + kSelectDevice7 + "out8 4E F5\nin8 4F -> 40\n" + kBypassState
        + kNormalState + arm + Write("F6", "1E") + kExit);

    // arming for restart does not look at the expiry status
    ports.Script(0x4F, {0x00, 0x40});
    EXPECT_EQ(tool.SetWDTTimeout_ResartSys(0, 20), 0);
    EXPECT_EQ(tool.GetTimeoutSecond(), 20);
    EXPECT_TRACE(kEnter + kSelectDevice7 + kRestartState + arm + Write("F6", "14") + kExit);
}

TEST_F(H61Ms, EnableBypassStopsAndLatchesBypassWhileDisableWDTOnlyStops)
{
    const std::string stop = Modify("F0", "FF", "7E") + Modify("F5", "FF", "DF");
    EXPECT_EQ(tool.EnableBypass(), 0);
    EXPECT_TRACE(kEnter + kSelectDevice7 + stop + kBypassState + kExit);
    EXPECT_EQ(tool.DisableWDT(), 0);
    EXPECT_TRACE(kEnter + stop + kExit);
}

TEST_F(H61Ms, GetCurDescWritesTheThreeRegistersInLowerCaseHex)
{
    char text[32];
    ports.Script(0x4F, {0x00, 0x0A, 0xFF});
    tool.GetCurDesc(text);
    EXPECT_STREQ(text, "0xf0=0,0xf5=a,0xf6=ff");
    EXPECT_TRACE(kEnter + kSelectDevice7 + "out8 4E F0\nin8 4F -> 00\nout8 4E F5\nin8 4F -> 0A\n"
        + "out8 4E F6\nin8 4F -> FF\n" + kExit);
}

} // namespace
