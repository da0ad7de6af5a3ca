#include "framework/BaseboardQuery.h"
#include "portio/PortBackend.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

TEST(DmiBoardName, DropsOnlyTheTrailingNewline)
{
    const struct {
        const char* content;
        const char* name;
    } kCases[] = {
        {"MS-96E3\n", "MS-96E3"},
        {"MS-96E3 \n", "MS-96E3 "},
        {"Luna Pier CRB", "Luna Pier CRB"},
        {"\n\n", "\n"},
    };
    const std::string path = ::testing::TempDir() + "board_name." + std::to_string(getpid());
    for (const auto& c : kCases) {
        std::ofstream(path, std::ios::binary) << c.content;
        EXPECT_EQ(bypass::ReadSysfsText(path.c_str()), c.name) << c.content;
    }
    std::remove(path.c_str());
    EXPECT_EQ(bypass::ReadSysfsText("/nonexistent/board_name"), "");
}

// Only the refused path is exercised: no test may reach a real port.
TEST(IoplBackend, WithoutPortAccessEachAccessIsReportedAndAnswersItsRequest)
{
    bypass::PortBackend& ports = bypass::PlatformPortBackend();
    const unsigned long failedBefore = ports.FailedAccesses();
    testing::internal::CaptureStdout();
    EXPECT_EQ(ports.In8(0x4E), 0x4E);
    EXPECT_EQ(ports.In32(0xCFC), 0xCFCu);
    ports.Out8(0x4E, 0x87);
    ports.Close();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
        "Error occured during inportb: no port access (iopl not granted)\n"
        "Error occured during inportl: no port access (iopl not granted)\n"
        "Error occured during outportb: no port access (iopl not granted)\n");
    EXPECT_EQ(ports.FailedAccesses() - failedBefore, 3u);
}

// Never short; the bound above only has to show a pause in the wrong unit,
// since a loaded machine may wake the process late.
TEST(IoplBackend, SleepIsNeverShortAndInMilliseconds)
{
    bypass::PortBackend& ports = bypass::PlatformPortBackend();
    const auto start = std::chrono::steady_clock::now();
    ports.SleepMs(30);
    const auto slept
        = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    EXPECT_GE(slept.count(), 30.0);
    EXPECT_LT(slept.count(), 1000.0);
}

} // namespace
