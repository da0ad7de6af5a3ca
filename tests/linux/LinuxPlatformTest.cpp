#include "framework/BaseboardQuery.h"
#include "portio/PortBackend.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

std::string WriteTemp(const std::string& content)
{
    char path[] = "/tmp/board_nameXXXXXX";
    const int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    close(fd);
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

TEST(DmiBoardName, DropsOnlyTheTrailingNewline)
{
    const std::string plain = WriteTemp("MS-96E3\n");
    const std::string blank = WriteTemp("MS-96E3 \n");
    const std::string bare = WriteTemp("Luna Pier CRB");
    EXPECT_EQ(bypass::ReadSysfsText(plain.c_str()), "MS-96E3");
    EXPECT_EQ(bypass::ReadSysfsText(blank.c_str()), "MS-96E3 ");
    EXPECT_EQ(bypass::ReadSysfsText(bare.c_str()), "Luna Pier CRB");
    EXPECT_EQ(bypass::ReadSysfsText("/nonexistent/board_name"), "");
    for (const auto& path : {plain, blank, bare})
        std::remove(path.c_str());
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

TEST(IoplBackend, SleepKeepsToTheMillisecond)
{
    bypass::PortBackend& ports = bypass::PlatformPortBackend();
    const auto start = std::chrono::steady_clock::now();
    ports.SleepMs(30);
    const auto slept
        = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    EXPECT_GE(slept.count(), 30.0);
    EXPECT_LT(slept.count(), 45.0);
}

} // namespace
