#include "portio/PortBackend.h"
#include "support/TraceTest.h"

namespace {

using Primitives = bypass::test::TraceTest;

TEST_F(Primitives, EachPrimitiveIsOneAccessOfItsWidthThroughTheCurrentBackend)
{
    ports.Script(0x4F, {0x03, 0x7F});
    ports.SetValue(0x500, 0xBEEF);
    ports.Script(0xCFC, {0x80861C22});
    EXPECT_EQ(OpenPortDriver(), 0);
    outportb(0x4E, 0x87);
    EXPECT_EQ(inportb(0x4F), 0x03);
    EXPECT_EQ(inportb(0x4F), 0x7F);
    EXPECT_EQ(inportb(0x4F), 0xFF); // script used up: a floating bus
    outportw(0x502, 0x1234);
    EXPECT_EQ(inportw(0x500), 0xBEEF);
    EXPECT_EQ(inportw(0x500), 0xBEEF);
    outportl(0xCF8, 0x8000FB08);
    EXPECT_EQ(inportl(0xCFC), 0x80861C22u);
    SleepMs(150);
    ClosePortDriver();
    ClosePortDriver();
    EXPECT_TRACE(R"(
        open -> 0
        out8 4E 87
        in8 4F -> 03
        in8 4F -> 7F
        in8 4F -> FF
        out16 502 1234
        in16 500 -> BEEF
        in16 500 -> BEEF
        out32 CF8 8000FB08
        in32 CFC -> 80861C22
        sleep 150
        close
    )");
    EXPECT_EQ(ports.SleptMs(), 150u);
}

TEST(TraceCompare, ReportsTheFirstDifferenceAndIgnoresComments)
{
    using bypass::test::TraceEquals;
    EXPECT_TRUE(TraceEquals({"out8 4E 87", "sleep 5"}, "out8 4E 87  # key\n\n  sleep 5\n"));
    auto differs = TraceEquals({"out8 4E 87", "sleep 5"}, "out8 4E 87\nsleep 50");
    EXPECT_FALSE(differs);
    EXPECT_NE(std::string(differs.message()).find("line 2"), std::string::npos);
    EXPECT_FALSE(TraceEquals({"out8 4E 87"}, "out8 4E 87\nout8 4E 87"));
}

} // namespace
