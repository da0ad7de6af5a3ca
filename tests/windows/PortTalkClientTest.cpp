// The PortTalk client: what a failed request prints and answers, and the
// pauses of the board protocols.
#include "portio/PortTalk.h"
#include "windows/FakeWin32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace {

using namespace bypass::test;

TEST(PortTalkClient, AFailedRequestPrintsItsLineAndAReadAnswersItsOwnRequest)
{
    FakeWin32 fake({{"DeviceIoControl", {31}}});
    struct Row {
        unsigned (*access)();
        unsigned answer;
        const char* name;
    };
    const Row rows[] = {
        {[] { return unsigned(inportb(0x48C)); }, 0x8C, "inportb"},
        {[] { return unsigned(inportw(0x500)); }, 0x500, "inportl"},
        {[] { return unsigned(inportl(0xCFC)); }, 0xCFC, "inportl"},
        {[] { return outportb(0x4E, 0x87), 0u; }, 0, "outportb"},
        {[] { return outportw(0x500, 1), 0u; }, 0, "outportl"},
        {[] { return outportl(0xCF8, 1), 0u; }, 0, "outportl"},
    };
    const unsigned long failedBefore = bypass::PlatformPortBackend().FailedAccesses();
    for (const Row& row : rows) {
        SCOPED_TRACE(&row - rows);
        testing::internal::CaptureStdout();
        EXPECT_EQ(row.access(), row.answer);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
            std::string("Error occured during ") + row.name
                + " while talking to PortTalk driver 31\n");
    }
    // Counted, so that a command can tell the access never happened.
    EXPECT_EQ(bypass::PlatformPortBackend().FailedAccesses() - failedBefore, 6u);
}

TEST(PortTalkClient, PausesWaitOnATimerShortOfTheDeadlineAndSpinTheRest)
{
    struct Row {
        unsigned ms;
        Script script;
        std::string calls;
    };
    const Row rows[] = {
        {150, {},
            "CreateWaitableTimerExW 2 1F0003\n"
            "SetWaitableTimer timer -1490000 0 0\n"
            "WaitForSingleObject timer FFFFFFFF\n"
            "CloseHandle timer\n"},
        {7, {{"CreateWaitableTimerExW", {8}}}, "CreateWaitableTimerExW 2 1F0003\nSleep 6\n"},
        {1, {}, ""}, // nothing to wait for: all of it is spun
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.ms);
        FakeWin32 fake(row.script);
        SleepMs(row.ms);
        EXPECT_EQ(fake.calls, row.calls);
        // It ends on its deadline, to within one reading of the counter.
        EXPECT_GE(fake.clock, row.ms * 10000LL);
        EXPECT_LE(fake.clock, row.ms * 10000LL + 100);
    }
}

// A pause that Sleep rounded up to the 15.6 ms system tick would show in the
// best of a few tries; a loaded machine stretches only some of them.
TEST(PortTalkClient, RealSleepDoesNotOvershootBySystemTicks)
{
    using Clock = std::chrono::steady_clock;
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        SleepMs(5);
        const double slept
            = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        EXPECT_GE(slept, 4.9);
        best = std::min(best, slept);
    }
    EXPECT_LT(best, 12.0) << "a 5 ms pause took at least " << best << " ms";
}

} // namespace
