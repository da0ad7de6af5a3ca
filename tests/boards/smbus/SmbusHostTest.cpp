#include "boards/smbus/SmbusHost.h"
#include "support/TraceTest.h"

namespace {

using namespace testing::internal; // CaptureStdout, CaptureStderr and their results

class SmbusHost : public bypass::test::TraceTest {
protected:
    static std::string Expected(const char* name)
    {
        return bypass::test::ReadText(std::string(BYPASS_TEST_DIR "/boards/smbus/") + name);
    }
    // count more reads of the status register at 0xF000 answer value.
    void RepeatStatus(std::uint8_t value, int count)
    {
        for (int i = 0; i < count; ++i)
            ports.Script(0xF000, {value});
    }
};

TEST_F(SmbusHost, ProbeAcceptsOnlyTheSmbusClassAndMasksTheIoBase)
{
    ports.Script(0xCFC, {0xFFFFFFFF, 0x00000C05, 0x0C050002, 0x1234F0A1});
    EXPECT_EQ(probe_smbus_controller(), 0); // no device
    EXPECT_EQ(probe_smbus_controller(), 0); // the class code is the upper half
    EXPECT_EQ(probe_smbus_controller(), 0xF0A0);
}

TEST_F(SmbusHost, WaitAcknowledgesDoneBitsAndReportsDeviceErrors)
{
    ports.Script(0xF000, {0x01, 0x02, 0x02, 0x42, 0x00, 0x40, 0x44, 0x08, 0x10});
    EXPECT_EQ(smbus_wait_complete(0xF000), 0);
    EXPECT_EQ(smbus_wait_complete(0xF000), 0);
    CaptureStderr();
    for (int error = 0; error < 3; ++error)
        EXPECT_EQ(smbus_wait_complete(0xF000), -1);
    EXPECT_EQ(GetCapturedStderr(), "SMBus Error = 44\nSMBus Error = 8\nSMBus Error = 10\n");
    EXPECT_TRACE(Expected("wait-acknowledges.trace"));
}

TEST_F(SmbusHost, StatusThatNeverClearsStopsTheWriteAfterAThousandUnsettledPasses)
{
    CaptureStdout();
    for (int unsettled : {999, 1000}) {
        ports.Script(0xF000, {0x00, 0x04}); // only the second read counts
        RepeatStatus(0x04, unsettled);
        ports.Script(0xF000, {0xE0}); // no pending bit left
        EXPECT_EQ(smbus_clear_status(0xF000), unsettled < 1000 ? 0 : -1);
    }
    EXPECT_EQ(GetCapturedStdout(), "temp = e0 timeout = 3e7\ntemp = e0 timeout = 3e8\nTemp = e0\n");
    ports.ClearTrace();

    CaptureStdout();
    ports.SetValue(0xF000, 0x84);
    EXPECT_EQ(smbus_write_byte(0xF000, 0x37, 0x12, 0x07), -1);
    EXPECT_TRACE(Expected("write-stops-unsettled.trace"));
    EXPECT_EQ(GetCapturedStdout(), "temp = 84 timeout = 3e9\nTemp = 84\n");
}

TEST_F(SmbusHost, WaitKillsATransactionStillBusyAfterAThousandPasses)
{
    RepeatStatus(0x01, 999);
    ports.Script(0xF000, {0x00, 0x00});
    EXPECT_EQ(smbus_wait_complete(0xF000), 0);
    ports.ClearTrace();

    CaptureStderr();
    RepeatStatus(0x01, 1000);
    ports.Script(0xF000, {0x00});
    ports.Script(0xF002, {0x48, 0x4B});
    EXPECT_EQ(smbus_wait_complete(0xF000), -1);
    EXPECT_TRACE(Expected("wait-kills.trace"));
    EXPECT_EQ(GetCapturedStderr(), "SMBus Timeout!\n");
}

} // namespace
