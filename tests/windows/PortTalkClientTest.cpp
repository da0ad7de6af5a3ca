#include "portio/PortTalk.h"
#include "windows/FakeWin32.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using bypass::test::FakeWin32;
using bypass::test::Joined;

constexpr const char* kOpenDevice = "CreateFileA \\\\.\\PortTalk 80000000 0 - 3 80 -";

class PortTalkClient : public ::testing::Test {
protected:
    void TearDown() override { g_hPortDriver = INVALID_HANDLE_VALUE; }
    bypass::PortBackend& driver = bypass::PlatformPortBackend();
};

TEST_F(PortTalkClient, OpensTheDeviceOnceAndClosesItOnce)
{
    FakeWin32 fake;
    EXPECT_EQ(g_hPortDriver, INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenPortDriver(), 0);
    EXPECT_NE(g_hPortDriver, INVALID_HANDLE_VALUE);
    ClosePortDriver();
    ClosePortDriver();
    EXPECT_EQ(g_hPortDriver, INVALID_HANDLE_VALUE);
    // An open device never involves the service manager.
    EXPECT_EQ(Joined(fake.log), std::string(kOpenDevice) + "\nCloseHandle 1234\n");
}

TEST_F(PortTalkClient, StartsTheServiceBeforeItsSecondAttempt)
{
    FakeWin32 fake;
    fake.createFile = {{false, 2}, {true, 0}};
    testing::internal::CaptureStdout();
    EXPECT_EQ(driver.Open(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
        "PortTalk: The PortTalk driver has been successfully started.\n");
    EXPECT_EQ(Joined(fake.log),
        std::string(kOpenDevice)
            + "\n"
              "OpenSCManagerA (null) (null) F003F\n"
              "OpenServiceA scm PortTalk F01FF\n"
              "StartServiceA svc 0 null\n"
              "CloseServiceHandle svc\n"
              "CloseServiceHandle scm\n"
            + kOpenDevice + "\n");
}

TEST_F(PortTalkClient, ReportsADeviceThatStaysMissing)
{
    FakeWin32 fake;
    fake.createFile = {{false, 2}, {false, 2}};
    fake.startService = {{false, 2}};
    testing::internal::CaptureStdout();
    EXPECT_EQ(driver.Open(), -1);
    EXPECT_EQ(g_hPortDriver, INVALID_HANDLE_VALUE);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
        "PortTalk: Unknown error while starting PortTalk driver service.\n"
        "PortTalk: Does PortTalk.SYS exist in your \\System32\\Drivers Directory?\n"
        "PortTalk: Couldn't access PortTalk Driver, Please ensure driver is loaded.\n\n");
}

TEST_F(PortTalkClient, AFailedRequestPrintsItsLineAndAReadAnswersItsOwnRequest)
{
    FakeWin32 fake; // the device is not open: every request fails
    fake.ioctlError = 6;
    const unsigned long failedBefore = driver.FailedAccesses();
    testing::internal::CaptureStdout();
    EXPECT_EQ(inportb(0x4E), 0x4E);
    EXPECT_EQ(inportb(0x48C), 0x8C);
    EXPECT_EQ(inportw(0x500), 0x500);
    EXPECT_EQ(inportl(0xCFC), 0xCFCu);
    outportb(0x4E, 0x87);
    outportw(0x500, 1);
    outportl(0xCF8, 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
        "Error occured during inportb while talking to PortTalk driver 6\n"
        "Error occured during inportb while talking to PortTalk driver 6\n"
        "Error occured during inportl while talking to PortTalk driver 6\n"
        "Error occured during inportl while talking to PortTalk driver 6\n"
        "Error occured during outportb while talking to PortTalk driver 6\n"
        "Error occured during outportl while talking to PortTalk driver 6\n"
        "Error occured during outportl while talking to PortTalk driver 6\n");
    EXPECT_EQ(driver.FailedAccesses() - failedBefore, 7u);
}

TEST_F(PortTalkClient, WaitsOnATimerShortOfTheDeadlineAndSpinsTheRest)
{
    FakeWin32 fake;
    SleepMs(150);
    const LONGLONG timed = fake.clock;
    fake.timerAvailable = false;
    SleepMs(7);
    const LONGLONG slept = fake.clock - timed;
    SleepMs(1); // nothing to wait for: all of it is spun
    EXPECT_EQ(Joined(fake.log),
        "CreateWaitableTimerExW 2 1F0003\n"
        "SetWaitableTimer -1490000 0 0\n"
        "WaitForSingleObject timer FFFFFFFF\n"
        "CloseHandle timer\n"
        "CreateWaitableTimerExW 2 1F0003\n"
        "Sleep 6\n");
    // each pause ends on its deadline, to within one reading of the counter
    EXPECT_GE(timed, 1500000);
    EXPECT_LE(timed, 1500100);
    EXPECT_GE(slept, 70000);
    EXPECT_LE(slept, 70100);
}

TEST_F(PortTalkClient, RealSleepDoesNotOvershootBySystemTicks)
{
    using Clock = std::chrono::steady_clock;
    double worst = 0;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        SleepMs(5);
        const double slept
            = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        EXPECT_GE(slept, 4.9);
        worst = std::max(worst, slept);
    }
    EXPECT_LT(worst, 12.0) << "a 5 ms pause took " << worst << " ms";
}

} // namespace
