#include "framework/BaseboardQuery.h"
#include "portio/PortBackend.h"
#include "portio/SysfsPciConfig.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
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

// The configuration pair answered from a function's configuration file, here
// a fake sysfs with the SMBus controller at 00:1f.3; no port is touched.
TEST(SysfsPciConfig, AnswersTheSelectedDwordFromTheFunctionsConfigFile)
{
    const std::string devices = ::testing::TempDir() + "pci." + std::to_string(getpid());
    const std::string function = devices + "/0000:00:1f.3";
    std::filesystem::create_directories(function);
    std::string config(64, '\0');
    config.replace(0x08, 4, std::string("\x02\x00\x05\x0C", 4)); // SMBus class
    config.replace(0x20, 4, std::string("\x01\xF0\x00\x00", 4)); // I/O base 0xF000
    std::ofstream(function + "/config", std::ios::binary) << config;

    const struct {
        std::uint32_t address, port;
        unsigned width;
        std::uint32_t answer;
    } cases[] = {
        {0x8000FB08, 0xCFC, 4, 0x0C050002}, {0x8000FB20, 0xCFC, 4, 0x0000F001},
        {0x8000FB23, 0xCFC, 4, 0x0000F001}, // the dword of the register
        {0x8000FB08, 0xCFE, 2, 0x0C05},
        {0x8000FB20, 0xCF8, 4, 0x8000FB20}, // the address reads back
        {0x0000FB08, 0xCFC, 4, 0xFFFFFFFF}, // enable bit clear
        {0x8000FA08, 0xCFC, 4, 0xFFFFFFFF}, // no such function
        {0x8000FB40, 0xCFC, 4, 0xFFFFFFFF}, // beyond what the file holds
    };
    for (const auto& c : cases) {
        bypass::SysfsPciConfig pair(devices);
        pair.Write(0xCF8, 4, c.address);
        pair.Write(0xCFC, 4, 0); // configuration writes change nothing
        EXPECT_EQ(pair.Read(c.port, c.width), c.answer) << std::hex << c.address;
    }
    // The address is kept per instance, as the driver keeps it per handle.
    bypass::SysfsPciConfig first(devices), second(devices);
    first.Write(0xCF8, 4, 0x8000FB08);
    second.Write(0xCF8, 4, 0x8000FB20);
    EXPECT_EQ(first.Read(0xCFC, 4), 0x0C050002u);
    std::filesystem::remove_all(devices);
}
