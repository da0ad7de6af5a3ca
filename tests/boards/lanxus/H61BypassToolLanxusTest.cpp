#include "boards/lanxus/H61BypassToolLanxus.h"
#include "boards/lanxus/LanxusTraces.h"
#include "support/TraceTest.h"

#include <string>

namespace {

using H61Lanxus = bypass::test::TraceTest;

// Stopping the watchdog: 71..74 = 0.
const std::string kStopWatchdog
    = bypass::test::LanxusSioSequence({{"71", "00"}, {"72", "00"}, {"73", "00"}, {"74", "00"}});

// 100 writes of 0 to port 0xED after each strobe edge.
std::string IoDelay()
{
    std::string lines;
    for (int i = 0; i < 100; ++i)
        lines += "out8 ED 00\n";
    return lines;
}

// Both segments written with state 0 while every GPIO register reads all ones.
std::string BothSegmentsNormal()
{
    std::string lines;
    for (const char* address : {"8F", "CF"}) {
        lines += R"(
            # GPIO 9 = 0, then GPIO 43..46 = 1, 0, 0, segment
            in8 50D -> FF
            out8 50D FD
            in8 539 -> FF
            out8 539 )"
            + std::string(address) + R"(
            # strobe low
            in8 50D -> FF
            out8 50D BF
        )" + IoDelay()
            + R"(
            # strobe high
            in8 50D -> FF
            out8 50D FF
        )" + IoDelay()
            + R"(
            # the six lines back to rest
            in16 50C -> FFFF
            out16 50C FFFF
            in16 538 -> FFFF
            out16 538 FFFF
        )";
    }
    return lines;
}

TEST_F(H61Lanxus, InitStopsTheWatchdogThenMakesTheSixLinesOutputsAtRest)
{
    ports.SetValue(0x500, 0x0001);
    ports.SetValue(0x530, 0x8000);
    ports.SetValue(0x504, 0xFFFF);
    ports.SetValue(0x534, 0xFFFF);
    ports.SetValue(0x50C, 0x0000);
    ports.SetValue(0x538, 0x0400);
    const std::string gpio = R"(
        # use select GPIO 9, 14 and 43..46
        in16 500 -> 0001
        out16 500 4201
        in16 530 -> 8000
        out16 530 F800
        # outputs
        in16 504 -> FFFF
        out16 504 BDFF
        in16 534 -> FFFF
        out16 534 87FF
        # driven high
        in16 50C -> 0000
        out16 50C 4200
        in16 538 -> 0400
        out16 538 7C00
    )";
    C_H61_BypassTool_Lanxus tool(10);
    EXPECT_EQ(tool.init(), 1);
    EXPECT_TRACE("open -> 0\n" + kStopWatchdog + gpio);

    // Without the driver the result is 0, but every access is still tried.
    ports.SetOpenResult(-1);
    EXPECT_EQ(tool.init(), 0);
    EXPECT_TRACE("open -> -1\n" + kStopWatchdog + gpio);
}

TEST_F(H61Lanxus, RelaySwitchingStopsTheWatchdogThenLatchesBothSegments)
{
    ports.Script(0x50D, {0x00, 0x42, 0x02, 0xFC, 0xFE, 0xBE});
    ports.Script(0x539, {0xF7, 0x30});
    ports.Script(0x50C, {0x0042, 0xBDFF});
    ports.Script(0x538, {0x0000, 0x87FF});
    C_H61_BypassTool_Lanxus tool(10);
    EXPECT_EQ(tool.EnableBypass(), 0);
    // GPIO 40..42 and 47 keep their levels; 44 and 45 go low, 43 high.
    EXPECT_TRACE(kStopWatchdog + R"(
        # segment 0, state 1
        in8 50D -> 00
        out8 50D 02
        in8 539 -> F7
        out8 539 8F
        in8 50D -> 42
        out8 50D 02
    )" + IoDelay()
        + R"(
        in8 50D -> 02
        out8 50D 42
    )" + IoDelay()
        + R"(
        in16 50C -> 0042
        out16 50C 4242
        in16 538 -> 0000
        out16 538 7800
        # segment 1, state 1
        in8 50D -> FC
        out8 50D FE
        in8 539 -> 30
        out8 539 48
        in8 50D -> FE
        out8 50D BE
    )" + IoDelay()
        + R"(
        in8 50D -> BE
        out8 50D FE
    )" + IoDelay()
        + R"(
        in16 50C -> BDFF
        out16 50C FFFF
        in16 538 -> 87FF
        out16 538 FFFF
    )");

    EXPECT_EQ(tool.DisableBypass(), 0);
    EXPECT_TRACE(kStopWatchdog + BothSegmentsNormal());
}

TEST_F(H61Lanxus, ArmingStoresTheTimeoutLatchesNormalThenArmsWithTheWrappedCount)
{
    C_H61_BypassTool_Lanxus tool(10);
    EXPECT_EQ(tool.SetWDTTimeout_Bypass(7, 30), 0);
    EXPECT_EQ(tool.GetTimeoutSecond(), 30);
    EXPECT_TRACE(kStopWatchdog + BothSegmentsNormal() +
        // arm for bypass, 30 s
        bypass::test::LanxusSioSequence(
            {{"71", "00"}, {"72", "80"}, {"73", "1E"}, {"74", "00"}, {"F1", "44"}, {"F4", "13"}}));

    EXPECT_EQ(tool.SetWDTTimeout_ResartSys(7, 300), 0);
    EXPECT_EQ(tool.GetTimeoutSecond(), 300);
    EXPECT_TRACE(kStopWatchdog + BothSegmentsNormal() +
        // arm for restart, 300 s wraps to 44 s
        bypass::test::LanxusSioSequence(
            {{"71", "00"}, {"72", "C0"}, {"73", "2C"}, {"74", "00"}, {"F1", "00"}, {"F4", "00"}}));

    // Stopping leaves the relay lines alone.
    EXPECT_EQ(tool.DisableWDT(), 0);
    EXPECT_TRACE(kStopWatchdog);
}

} // namespace
