#include "boards/lanxus/D525BypassToolLanxus.h"
#include "boards/lanxus/LanxusTraces.h"
#include "support/TraceTest.h"

#include <string>

namespace {

using D525Lanxus = bypass::test::TraceTest;

// Stopping the watchdog: 71 = 80, 72..74 = 0.
const std::string kStopWatchdog
    = bypass::test::LanxusSioSequence({{"71", "80"}, {"72", "00"}, {"73", "00"}, {"74", "00"}});

TEST_F(D525Lanxus, InitSetsUpTheGpioLinesThenStopsTheWatchdog)
{
    ports.SetValue(0x1181, 0x01);
    ports.SetValue(0x1185, 0xFF);
    ports.SetValue(0x1183, 0x00);
    ports.SetValue(0x1187, 0xFF);
    ports.SetValue(0x11B1, 0x80);
    ports.SetValue(0x11B5, 0x0F);
    const std::string gpio = R"(
        # GPIO 14 a GPIO output
        in8 1181 -> 01
        out8 1181 41
        in8 1185 -> FF
        out8 1185 BF
        # GPIO 24, 27, 29 GPIO outputs
        in8 1183 -> 00
        out8 1183 29
        in8 1187 -> FF
        out8 1187 D6
        # GPIO 41..43 GPIO outputs
        in8 11B1 -> 80
        out8 11B1 8E
        in8 11B5 -> 0F
        out8 11B5 01
    )";
    C_D525_BypassTool_Lanxus tool(11);
    EXPECT_EQ(tool.init(), 1);
    EXPECT_TRACE("open -> 0\n" + gpio + kStopWatchdog);

    // Without the driver the result is 0, but every access is still tried.
    ports.SetOpenResult(-1);
    EXPECT_EQ(tool.init(), 0);
    EXPECT_TRACE("open -> -1\n" + gpio + kStopWatchdog);
}

TEST_F(D525Lanxus, RelaySwitchingStopsTheWatchdogAndRaisesGpio9And14AfterGpio8)
{
    ports.Script(0x118D, {0x41, 0x40, 0x00, 0x01});
    C_D525_BypassTool_Lanxus tool(11);
    EXPECT_EQ(tool.EnableBypass(), 0);
    EXPECT_TRACE(kStopWatchdog + R"(
        # GPIO 8 low, then GPIO 9 and 14 high
        in8 118D -> 41
        out8 118D 40
        in8 118D -> 40
        out8 118D 42
    )");
    EXPECT_EQ(tool.DisableBypass(), 0);
    EXPECT_TRACE(kStopWatchdog + R"(
        # GPIO 8 high, then GPIO 9 and 14 high
        in8 118D -> 00
        out8 118D 01
        in8 118D -> 01
        out8 118D 43
    )");
}

TEST_F(D525Lanxus, ArmingStoresTheTimeoutSetsTheRelayNormalThenArmsWithTheWrappedCount)
{
    ports.Script(0x118D, {0x00, 0x01, 0x00, 0x01});
    const std::string relayNormal = R"(
        in8 118D -> 00
        out8 118D 01
        in8 118D -> 01
        out8 118D 43
    )";
    C_D525_BypassTool_Lanxus tool(11);
    EXPECT_EQ(tool.SetWDTTimeout_Bypass(7, 30), 0);
    EXPECT_EQ(tool.GetTimeoutSecond(), 30);
    EXPECT_TRACE(kStopWatchdog + relayNormal +
        // arm for bypass, 30 s: the extra registers come before the count
        bypass::test::LanxusSioSequence({{"71", "80"}, {"72", "80"}, {"28", "C3"}, {"BB", "01"},
            {"F1", "44"}, {"F4", "21"}, {"73", "1E"}, {"74", "00"}}));

    // Restart arming writes none of 28, BB, F1, F4.
    EXPECT_EQ(tool.SetWDTTimeout_ResartSys(7, 300), 0);
    EXPECT_EQ(tool.GetTimeoutSecond(), 300);
    EXPECT_TRACE(kStopWatchdog + relayNormal +
        // arm for restart, 300 s wraps to 44 s
        bypass::test::LanxusSioSequence({{"71", "00"}, {"72", "C0"}, {"73", "2C"}, {"74", "00"}}));

    // Stopping leaves the GPIO lines alone.
    EXPECT_EQ(tool.DisableWDT(), 0);
    EXPECT_TRACE(kStopWatchdog);
}

} // namespace
