#include "boards/msi/G41BypassToolMs.h"
#include "boards/msi/MsiTraces.h"
#include "support/TraceTest.h"

#include <string>

namespace {

using namespace bypass::test;

class G41Ms : public TraceTest {
protected:
    void SetUp() override
    {
        TraceTest::SetUp();
        ports.SetValue(0x4B8, 0x3E);
        ports.SetValue(0x48F, 0x5A);
    }
};

// One latch through the open gate, with 0x4B8 reading 3E and 0x48F 5A.
std::string Latch(
    const std::string& address, const std::string& addressWritten, const std::string& data)
{
    return R"(
        in8 48C -> 80    # gate bit 7 set
        in8 48C -> )"
        + address + "\nout8 48C " + addressWritten + R"(  # segment bit 0 on bit 6
        in8 4B8 -> 3E
        out8 4B8 38      # segment bits 1 and 2 on bits 2 and 1
        in8 4B8 -> 3E
        out8 4B8 )"
        + data + R"(     # data on bit 3, bits 6 and 7 set
        sleep 50
        in8 48F -> 5A
        out8 48F 5B      # strobe up
        sleep 150
        out8 48F 5A      # strobe down from the value written
        sleep 100
    )";
}

TEST_F(G41Ms, EnableBypassForcesExpiryThenLatchesBothSegmentsToBypass)
{
    C_G41_BypassTool_MS tool(6);
    ports.Script(0x4F, {0x07, 0x50});
    ports.Script(0x48C, {0x80, 0xC1, 0x80, 0x81});
    EXPECT_EQ(tool.EnableBypass(), 0);
    EXPECT_TRACE(kEnter + kSelectDevice8 + kForceExpiry + Latch("C1", "81", "FE")
        + Latch("81", "C1", "FE") + kExit);
}

TEST_F(G41Ms, OtherTypesLatchOnlySegment0AndNormalLatchesAfterTheCounterStops)
{
    C_G41_BypassTool_MS tool(7);
    ports.Script(0x4F, {0x07, 0x5B});
    ports.Script(0x48C, {0x80, 0xC1});
    EXPECT_EQ(tool.DisableBypass(), 0);
    EXPECT_TRACE(kEnter + kSelectDevice8 + kClearStatus + Write("F6", "00")
        + Latch("C1", "81", "F6") + kExit);
}

} // namespace
