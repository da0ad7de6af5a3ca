#include "portio/PortTalk.h"
#include "portio/PortTalkPaths.h"
#include "portio/Win32Api.h"

#include <cstdio>
#include <cstring>
#include <string>

using bypass::Win32;
using bypass::porttalk::kServiceName;

namespace {

constexpr DWORD kManagerAllAccess = 0xF003F;
constexpr DWORD kServiceAllAccess = 0xF01FF;
constexpr DWORD kErrorAccessDenied = 5;
constexpr DWORD kErrorInvalidName = 123;
constexpr DWORD kErrorServiceAlreadyRunning = 1056;
constexpr DWORD kErrorServiceDoesNotExist = 1060;
constexpr DWORD kErrorServiceExists = 1073;

// The service is normally found on the next look after installing it; if
// it keeps failing with an error that says nothing, give up after a few.
constexpr int kServiceOpenAttempts = 4;

void CloseIfOpen(SC_HANDLE handle)
{
    if (handle)
        Win32().CloseServiceHandle(handle);
}

bool StartService(SC_HANDLE service)
{
    if (Win32().StartServiceA(service, 0, nullptr)) {
        std::printf("PortTalk: The PortTalk driver has been successfully started.\n");
        Win32().CloseServiceHandle(service);
        return true;
    }
    if (Win32().GetLastError() == kErrorServiceAlreadyRunning) {
        std::printf("PortTalk: The PortTalk driver is already running.\n");
        Win32().CloseServiceHandle(service);
        return true;
    }
    std::printf("PortTalk: Unknown error while starting PortTalk driver service.\n");
    std::printf("PortTalk: Does PortTalk.SYS exist in your \\System32\\Drivers Directory?\n");
    Win32().CloseServiceHandle(service);
    return false;
}

// The destination in the system's drivers directory; empty when the system
// directory is unknown (the request failed, or it does not fit 55 bytes).
std::string DriverDestination()
{
    char directory[55] = {};
    const UINT length = Win32().GetSystemDirectoryA(directory, sizeof directory);
    if (length == 0 || length >= sizeof directory) {
        std::printf("PortTalk: Failed to get System Directory. Is System Directory Path > 55 "
                    "Characters?\n");
        std::printf("PortTalk: Please manually copy driver to your system32/driver directory.\n");
        return {};
    }
    return std::string(directory) + "\\Drivers\\PortTalk.sys";
}

// PortTalk.sys beside the host program's executable (not the library).
std::string DriverSource()
{
    char path[1024] = {};
    Win32().GetModuleFileNameA(nullptr, path, sizeof path);
    return bypass::porttalk::DriverBeside(path);
}

void CopyDriver()
{
    const std::string destination = DriverDestination();
    // Without a system directory there is no destination to copy to; the
    // lines above already asked for a manual copy.
    if (destination.empty())
        return;
    if (!Win32().CopyFileA(DriverSource().c_str(), destination.c_str(), FALSE)) {
        std::printf("PortTalk: Failed to copy driver to %s\n", destination.c_str());
        std::printf("PortTalk: Please manually copy driver to your system32/driver directory.\n");
    }
}

void RegisterDriverService()
{
    SC_HANDLE manager = Win32().OpenSCManagerA(nullptr, nullptr, kManagerAllAccess);
    SC_HANDLE service = Win32().CreateServiceA(manager, kServiceName, kServiceName,
        kServiceAllAccess, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
        bypass::porttalk::kRelativeImagePath, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (service)
        std::printf("PortTalk: Driver successfully installed.\n");
    else if (Win32().GetLastError() == kErrorServiceExists)
        std::printf("PortTalk: Driver already exists. No action taken.\n");
    else
        std::printf("PortTalk: Unknown error while creating Service.\n");
    CloseIfOpen(service);
    CloseIfOpen(manager);
}

} // namespace

void InstallPortDriver()
{
    CopyDriver();
    RegisterDriverService();
}

bool StartPortDriver()
{
    SC_HANDLE manager = Win32().OpenSCManagerA(nullptr, nullptr, kManagerAllAccess);
    if (!manager && Win32().GetLastError() == kErrorAccessDenied) {
        std::printf("PortTalk: You do not have rights to access the Service Control Manager and\n");
        std::printf("PortTalk: the PortTalk driver is not installed or started. Please ask \n");
        std::printf("PortTalk: your administrator to install the driver on your behalf.\n");
        return false;
    }
    // Without a manager handle the service calls below fail on their own.
    bool started = false;
    for (int attempt = 0; attempt < kServiceOpenAttempts; ++attempt) {
        SC_HANDLE service = Win32().OpenServiceA(manager, kServiceName, kServiceAllAccess);
        if (service) {
            started = StartService(service);
            break;
        }
        const DWORD error = Win32().GetLastError();
        if (error == kErrorAccessDenied) {
            std::printf("PortTalk: You do not have rights to the PortTalk service database\n");
            break;
        }
        if (error == kErrorInvalidName) {
            std::printf("PortTalk: The specified service name is invalid.\n");
            break;
        }
        if (error == kErrorServiceDoesNotExist) {
            std::printf("PortTalk: The PortTalk driver does not exist. Installing driver.\n");
            std::printf("PortTalk: This can take up to 30 seconds on some machines . .\n");
            InstallPortDriver();
        }
    }
    CloseIfOpen(manager);
    return started;
}
