// First use of the PortTalk driver: opening its device, starting its service
// when the device is missing, installing the service when that is missing;
// and bypassctl's driver command. For each way the device, the service
// manager and the file calls can answer: the result, what was printed, and
// which handles were closed.
#include "cli/Cli.h"
#include "portio/PortTalk.h"
#include "windows/FakeWin32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

namespace {

using namespace bypass::test;

constexpr DWORD kAccessDenied = 5;
constexpr DWORD kNoService = 1060;
constexpr DWORD kFileNotFound = 2;

const std::string kMissing = "PortTalk: The PortTalk driver does not exist. Installing driver.\n"
                             "PortTalk: This can take up to 30 seconds on some machines . .\n";
const std::string kInstalled = "PortTalk: Driver successfully installed.\n";
const std::string kStarted = "PortTalk: The PortTalk driver has been successfully started.\n";
const std::string kStartFailed
    = "PortTalk: Unknown error while starting PortTalk driver service.\n"
      "PortTalk: Does PortTalk.SYS exist in your \\System32\\Drivers Directory?\n";
const std::string kNoSystemDirectory
    = "PortTalk: Failed to get System Directory. Is System Directory Path > 55 Characters?\n"
      "PortTalk: Please manually copy driver to your system32/driver directory.\n";

const std::string kOpenDevice = "CreateFileA \\\\.\\PortTalk 80000000 0 - 3 80 -\n";
const std::string kOpenManager = "OpenSCManagerA (null) (null) F003F\n";
const std::string kOpenService = "OpenServiceA scm PortTalk F01FF\n";
const std::string kCloseManager = "CloseServiceHandle scm\n";
const std::string kStartAndClose
    = kOpenService + "StartServiceA svc 0 null\nCloseServiceHandle svc\n" + kCloseManager;
const std::string kFindDestination = "GetSystemDirectoryA 55\n";
const std::string kCopy = kFindDestination + "GetModuleFileNameA exe 1024\n"
    + "CopyFileA D:\\tools/x\\bin/PortTalk.sys C:\\windows\\system32\\Drivers\\PortTalk.sys 0\n";
const std::string kCreate = kOpenManager
    + "CreateServiceA scm PortTalk PortTalk F01FF 1 3 1 System32\\Drivers\\PortTalk.sys (null) - "
      "(null) (null) (null)\n";
const std::string kDriverFile = "C:\\windows\\System32\\drivers\\PortTalk.sys";
const std::string kCreated = kCreate + "CloseServiceHandle svc\n" + kCloseManager;

// The client's open, with the handle closed twice after it; and the start.
int OpenAndClose()
{
    const int opened = OpenPortDriver();
    ClosePortDriver();
    ClosePortDriver(); // closes nothing more
    return opened;
}
int Start() { return StartPortDriver(); }

// bypassctl in-process, printing what it says as the library prints.
int Bypassctl(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    bypassctl::Console console{
        out, err, nullptr, bypassctl::ProcessStopSignal(), bypassctl::ProcessSupervisor(), ""};
    const int code = bypassctl::RunBypassctl(args, console);
    std::printf("%s%s", out.str().c_str(), err.str().c_str());
    return code;
}
int DriverInstall() { return Bypassctl({"driver", "install"}); }
int DriverStatus() { return Bypassctl({"driver", "status"}); }
int DriverRemove() { return Bypassctl({"driver", "remove"}); }

TEST(PortDriver, EachAnswerOfTheDeviceAndTheServiceManagerEndsAsItShould)
{
    struct Row {
        const char* name;
        int (*run)();
        Script script;
        int result;
        std::string printed;
        std::string calls;
        std::string systemDirectory = "C:\\windows\\system32";
    };
    const std::string neverAppears = kMissing + "PortTalk: Unknown error while creating Service.\n";
    const std::string lookAndCreate = kOpenService + kCopy + kCreate + kCloseManager;
    const Row rows[] = {
        {"device opens at once", OpenAndClose, {}, 0, "", kOpenDevice + "CloseHandle 1234\n"},
        {"driver started, device opened", OpenAndClose, {{"CreateFileA", {kFileNotFound, 0}}}, 0,
            kStarted,
            kOpenDevice + kOpenManager + kStartAndClose + kOpenDevice + "CloseHandle 1234\n"},
        {"device stays missing", OpenAndClose,
            {{"CreateFileA", {kFileNotFound}}, {"StartServiceA", {kFileNotFound}}}, -1,
            kStartFailed
                + "PortTalk: Couldn't access PortTalk Driver, Please ensure driver is loaded.\n\n",
            kOpenDevice + kOpenManager + kStartAndClose + kOpenDevice},
        {"already running", Start, {{"StartServiceA", {1056}}}, true,
            "PortTalk: The PortTalk driver is already running.\n", kOpenManager + kStartAndClose},
        {"start refused", Start, {{"StartServiceA", {kFileNotFound}}}, false, kStartFailed,
            kOpenManager + kStartAndClose},
        {"no rights to the manager", Start, {{"OpenSCManagerA", {kAccessDenied}}}, false,
            "PortTalk: You do not have rights to access the Service Control Manager and\n"
            "PortTalk: the PortTalk driver is not installed or started. Please ask \n"
            "PortTalk: your administrator to install the driver on your behalf.\n",
            kOpenManager},
        {"no manager, goes on without", Start,
            {{"OpenSCManagerA", {1722}}, {"OpenServiceA", {kAccessDenied}}}, false,
            "PortTalk: You do not have rights to the PortTalk service database\n",
            kOpenManager + "OpenServiceA 0 PortTalk F01FF\n"},
        {"invalid name", Start, {{"OpenServiceA", {123}}}, false,
            "PortTalk: The specified service name is invalid.\n",
            kOpenManager + kOpenService + kCloseManager},
        {"missing: installed, then started", Start, {{"OpenServiceA", {kNoService, 0}}}, true,
            kMissing + kInstalled + kStarted,
            kOpenManager + kOpenService + kCopy + kCreated + kStartAndClose},
        {"copy failed, service already exists, start refused", Start,
            {{"OpenServiceA", {kNoService, 0}}, {"CopyFileA", {kFileNotFound}},
                {"CreateServiceA", {1073}}, {"StartServiceA", {kFileNotFound}}},
            false,
            kMissing
                + "PortTalk: Failed to copy driver to "
                  "C:\\windows\\system32\\Drivers\\PortTalk.sys\n"
                  "PortTalk: Please manually copy driver to your system32/driver directory.\n"
                  "PortTalk: Driver already exists. No action taken.\n"
                + kStartFailed,
            kOpenManager + lookAndCreate + kStartAndClose},
        {"no system directory", Start, {{"OpenServiceA", {kNoService, 0}}}, true,
            kMissing + kNoSystemDirectory + kInstalled + kStarted,
            kOpenManager + kOpenService + kFindDestination + kCreated + kStartAndClose, ""},
        {"system directory of 55 characters", Start, {{"OpenServiceA", {kNoService, 0}}}, true,
            kMissing + kNoSystemDirectory + kInstalled + kStarted,
            kOpenManager + kOpenService + kFindDestination + kCreated + kStartAndClose,
            "C:\\" + std::string(52, 'w')},
        {"never appears: gives up after four looks", Start,
            {{"OpenServiceA", {kNoService}}, {"CreateServiceA", {1078}}}, false,
            neverAppears + neverAppears + neverAppears + neverAppears,
            kOpenManager + lookAndCreate + lookAndCreate + lookAndCreate + lookAndCreate
                + kCloseManager},
        {"an error that says nothing: four silent looks", Start, {{"OpenServiceA", {1}}}, false, "",
            kOpenManager + kOpenService + kOpenService + kOpenService + kOpenService
                + kCloseManager},
        {"driver install: no driver beside bypassctl", DriverInstall,
            {{"CreateFileW", {kFileNotFound}}}, 3,
            "bypassctl: cannot read D:\\tools/x\\bin/PortTalk.sys\n",
            "GetModuleFileNameW exe 260\nCreateFileW D:\\tools/x\\bin/PortTalk.sys 80000000 1 3\n"},
        {"driver status: no rights to the manager", DriverStatus,
            {{"OpenSCManagerA", {kAccessDenied}}}, 3,
            "bypassctl: the service manager refused access (error 5): run as administrator\n",
            "OpenSCManagerA (null) (null) F003F\n"},
        {"driver remove: no service, the file goes", DriverRemove, {{"OpenServiceA", {kNoService}}},
            0, "removed " + kDriverFile + " (there was no PortTalk service)\n",
            kOpenManager + kOpenService + "GetSystemWindowsDirectoryW 260\n" + "GetFileAttributesW "
                + kDriverFile + "\nDeleteFileW " + kDriverFile + "\n" + kCloseManager},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeWin32 fake(row.script);
        fake.systemDirectory = row.systemDirectory;
        testing::internal::CaptureStdout();
        EXPECT_EQ(row.run(), row.result);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), row.printed);
        EXPECT_EQ(fake.calls, row.calls);
        EXPECT_EQ(g_hPortDriver, INVALID_HANDLE_VALUE);
    }
}

} // namespace
