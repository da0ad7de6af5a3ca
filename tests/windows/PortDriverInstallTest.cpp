#include "portio/PortTalk.h"
#include "windows/FakeWin32.h"

#include <gtest/gtest.h>

namespace {

using bypass::test::FakeWin32;
using bypass::test::Joined;

constexpr DWORD kAccessDenied = 5;
constexpr DWORD kInvalidName = 123;
constexpr DWORD kAlreadyRunning = 1056;
constexpr DWORD kNoService = 1060;
constexpr DWORD kServiceExists = 1073;

const std::string kManager = "OpenSCManagerA (null) (null) F003F\n";
const std::string kOpenService = "OpenServiceA scm PortTalk F01FF\n";
const std::string kCopy = "CopyFileA C:\\appliance\\bin\\PortTalk.sys "
                          "C:\\windows\\system32\\Drivers\\PortTalk.sys 0\n";
const std::string kCreate = "CreateServiceA scm PortTalk PortTalk F01FF 1 3 1 "
                            "System32\\Drivers\\PortTalk.sys (null) - (null) (null) (null)\n";
const std::string kMissingLines
    = "PortTalk: The PortTalk driver does not exist. Installing driver.\n"
      "PortTalk: This can take up to 30 seconds on some machines . .\n";

struct StartResult {
    bool started;
    std::string output;
};

StartResult StartDriver()
{
    testing::internal::CaptureStdout();
    const bool started = StartPortDriver();
    return {started, testing::internal::GetCapturedStdout()};
}

TEST(StartPortDriver, StartsOrFindsARunningServiceWithoutInstalling)
{
    FakeWin32 fake;
    fake.startService = {{false, kAlreadyRunning}};
    StartResult run = StartDriver();
    EXPECT_TRUE(run.started);
    EXPECT_EQ(run.output, "PortTalk: The PortTalk driver is already running.\n");
    EXPECT_EQ(Joined(fake.log),
        kManager + kOpenService
            + "StartServiceA svc 0 null\n"
              "CloseServiceHandle svc\n"
              "CloseServiceHandle scm\n");
}

TEST(StartPortDriver, InstallsAMissingServiceThenStartsIt)
{
    FakeWin32 fake;
    fake.openService = {{false, kNoService}};
    StartResult run = StartDriver();
    EXPECT_TRUE(run.started);
    EXPECT_EQ(run.output,
        kMissingLines
            + "PortTalk: Driver successfully installed.\n"
              "PortTalk: The PortTalk driver has been successfully "
              "started.\n");
    EXPECT_EQ(Joined(fake.log),
        kManager + kOpenService
            + "GetSystemDirectoryA 55\n"
              "GetModuleFileNameA exe 1024\n"
            + kCopy + kManager + kCreate
            + "CloseServiceHandle svc\n"
              "CloseServiceHandle scm\n"
            + kOpenService
            + "StartServiceA svc 0 null\n"
              "CloseServiceHandle svc\n"
              "CloseServiceHandle scm\n");
}

TEST(StartPortDriver, RefusalsEndWithTheirLinesAndFalse)
{
    {
        FakeWin32 fake;
        fake.scManager = {{false, kAccessDenied}};
        StartResult run = StartDriver();
        EXPECT_FALSE(run.started);
        EXPECT_EQ(run.output,
            "PortTalk: You do not have rights to access the Service Control Manager and\n"
            "PortTalk: the PortTalk driver is not installed or started. Please ask \n"
            "PortTalk: your administrator to install the driver on your behalf.\n");
        EXPECT_EQ(Joined(fake.log), kManager); // no attempt to install
    }
    {
        FakeWin32 fake;
        fake.openService = {{false, kAccessDenied}};
        StartResult run = StartDriver();
        EXPECT_FALSE(run.started);
        EXPECT_EQ(
            run.output, "PortTalk: You do not have rights to the PortTalk service database\n");
    }
    {
        FakeWin32 fake;
        fake.openService = {{false, kInvalidName}};
        StartResult run = StartDriver();
        EXPECT_FALSE(run.started);
        EXPECT_EQ(run.output, "PortTalk: The specified service name is invalid.\n");
    }
}

TEST(StartPortDriver, AManagerErrorOtherThanAccessDeniedGoesOnWithoutAManager)
{
    FakeWin32 fake;
    fake.scManager = {{false, 1722}};
    fake.openService = {{false, kAccessDenied}};
    StartResult run = StartDriver();
    EXPECT_FALSE(run.started);
    EXPECT_EQ(Joined(fake.log), kManager + "OpenServiceA null PortTalk F01FF\n");
}

TEST(StartPortDriver, AFailedCopyStillRegistersTheServiceWhichThenFailsToStart)
{
    FakeWin32 fake;
    fake.openService = {{false, kNoService}};
    fake.copyFile = {{false, 2}};
    fake.createService = {{false, kServiceExists}};
    fake.startService = {{false, 2}};
    StartResult run = StartDriver();
    EXPECT_FALSE(run.started);
    EXPECT_EQ(run.output,
        kMissingLines
            + "PortTalk: Failed to copy driver to C:\\windows\\system32\\Drivers\\PortTalk.sys\n"
              "PortTalk: Please manually copy driver to your system32/driver directory.\n"
              "PortTalk: Driver already exists. No action taken.\n"
              "PortTalk: Unknown error while starting PortTalk driver service.\n"
              "PortTalk: Does PortTalk.SYS exist in your \\System32\\Drivers Directory?\n");
}

TEST(StartPortDriver, GivesUpAfterAFewRoundsWhenTheServiceNeverAppears)
{
    FakeWin32 fake;
    fake.openService = {{false, kNoService}, {false, kNoService}, {false, kNoService},
        {false, kNoService}, {false, kNoService}, {false, kNoService}};
    fake.createService = {{false, 1078}, {false, 1078}, {false, 1078}, {false, 1078}};
    StartResult run = StartDriver();
    EXPECT_FALSE(run.started);
    const std::string round = kMissingLines + "PortTalk: Unknown error while creating Service.\n";
    EXPECT_EQ(run.output, round + round + round + round);

    FakeWin32 silent;
    silent.openService = {{false, 1}, {false, 1}, {false, 1}, {false, 1}, {false, 1}};
    StartResult quiet = StartDriver();
    EXPECT_FALSE(quiet.started);
    EXPECT_EQ(quiet.output, "");
    EXPECT_EQ(Joined(silent.log),
        kManager + kOpenService + kOpenService + kOpenService + kOpenService
            + "CloseServiceHandle scm\n");
}

TEST(InstallPortDriver, TakesTheDriverFromTheExecutablesDirectory)
{
    FakeWin32 fake;
    fake.moduleFileName = "D:\\tools/x\\bin/host.exe"; // the later separator counts
    testing::internal::CaptureStdout();
    InstallPortDriver();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "PortTalk: Driver successfully installed.\n");
    EXPECT_EQ(fake.log.at(2),
        "CopyFileA D:\\tools/x\\bin/PortTalk.sys "
        "C:\\windows\\system32\\Drivers\\PortTalk.sys 0");
}

TEST(InstallPortDriver, WithoutASystemDirectoryAsksForAManualCopyAndStillRegisters)
{
    for (const char* directory :
        {"", "C:\\a-system-directory-path-that-is-longer-than-55-bytes\\x"}) {
        FakeWin32 fake;
        fake.systemDirectory = directory;
        testing::internal::CaptureStdout();
        InstallPortDriver();
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "PortTalk: Failed to get System Directory. Is System Directory Path > 55 "
            "Characters?\n"
            "PortTalk: Please manually copy driver to your system32/driver directory.\n"
            "PortTalk: Driver successfully installed.\n");
        EXPECT_EQ(Joined(fake.log),
            "GetSystemDirectoryA 55\n" + kManager + kCreate
                + "CloseServiceHandle svc\n"
                  "CloseServiceHandle scm\n");
    }
}

} // namespace
