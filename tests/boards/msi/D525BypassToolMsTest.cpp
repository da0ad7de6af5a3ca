#include "boards/msi/D525BypassToolMs.h"
#include "boards/msi/MsiTraces.h"
#include "support/TraceTest.h"

#include <string>

namespace {

using namespace bypass::test;

class D525Ms : public TraceTest {
protected:
    void SetUp() override
    {
        TraceTest::SetUp();
        ports.SetValue(0x48D, 0xC0);
        ports.SetValue(0x4B9, 0x08);
    }
};

// One latch through the open gate, with 0x48D reading C0 and 0x4B9 08.
std::string Latch(const std::string& address, const std::string& addressWritten,
    const std::string& strobe, const std::string& strobeUp, const std::string& data)
{
    return "in8 48C -> 80\nin8 48F -> " + address + "\nout8 48F " + addressWritten + R"(
        sleep 100
        in8 48D -> C0
        out8 48D 80    # segment bit 1 on bit 6
        sleep 100
        in8 4B9 -> 08
        out8 4B9 )"
        + data + R"(   # data on bit 3, bits 1 and 2 set
        sleep 100
        in8 48F -> )"
        + strobe + "\nout8 48F " + strobeUp + "\nsleep 150\nout8 48F " + strobe + "\nsleep 100\n";
}

TEST_F(D525Ms, DisableBypassStopsTheCounterThenLatchesBothSegmentsToNormal)
{
    C_D525_BypassTool_MS tool(5002);
    ports.Script(0x4F, {0x07, 0x5B});
    ports.SetValue(0x48C, 0x80);
    ports.Script(0x48F, {0x0F, 0x06, 0x0E, 0x07});
    EXPECT_EQ(tool.DisableBypass(), 0);
    // segment bits 0 and 2 go to bits 0 and 3 of 0x48F
    EXPECT_TRACE(kEnter + kSelectDevice8 + kClearStatus + Write("F6", "00")
        + Latch("0F", "06", "06", "26", "06") + Latch("0E", "07", "07", "27", "06") + kExit);
    EXPECT_EQ(ports.SleptMs(), 1100u);
}

TEST_F(D525Ms, EnableBypassLatchesWhileTheGateIsOpenAndSkipsASegmentWhenItIsShut)
{
    C_D525_BypassTool_MS tool(5002);
    ports.Script(0x4F, {0x07, 0x50});
    ports.Script(0x48C, {0x80, 0x7F});
    ports.Script(0x48F, {0x0F, 0x06});
    EXPECT_EQ(tool.EnableBypass(), 0);
    EXPECT_TRACE(kEnter + kSelectDevice8 + kForceExpiry + Latch("0F", "06", "06", "26", "0E")
        + "in8 48C -> 7F\n" + kExit);
}

} // namespace
