// bypassctl driver install | status | remove (Windows): the PortTalk driver
// of this release, installed only when the file beside bypassctl.exe is
// exactly the one built with it. Every Win32 call goes through Win32(), so
// tests reach each error branch.
#include "cli/Command.h"

#include "portio/PortTalkPaths.h"
#include "portio/Win32Api.h"

#include <windows.h>

#include <bcrypt.h>

#include <fstream>
#include <iterator>
#include <vector>

// The SHA-256 of the PortTalk.sys built with this bypassctl.
extern const char* const kReleaseDriverSha256;

namespace bypassctl {
namespace {

using bypass::Win32;
using bypass::porttalk::kServiceName;
// The driver's service, through the table the library's driver code uses.
using ScHandle = bypass::ScHandle<bypass::Win32Api>;

std::string Hex(const unsigned char* bytes, size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0xF];
    }
    return text;
}

std::string Sha256(const std::vector<char>& data)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    unsigned char digest[32] = {};
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
        return "";
    const bool hashed = BCryptHash(algorithm, nullptr, 0,
                            reinterpret_cast<PUCHAR>(const_cast<char*>(data.data())),
                            static_cast<ULONG>(data.size()), digest, sizeof digest)
        == 0;
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return hashed ? Hex(digest, sizeof digest) : "";
}

// The file's SHA-256 in lower-case hex; empty when it cannot be read.
std::string FileSha256(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return "";
    const std::vector<char> data{std::istreambuf_iterator<char>(file), {}};
    return Sha256(data);
}

std::string DriverBesideBypassctl()
{
    char path[MAX_PATH] = {};
    Win32().GetModuleFileNameA(nullptr, path, sizeof path);
    return bypass::porttalk::DriverBeside(path);
}

// The installed driver's absolute path, which the service manager loads
// from wherever the system root is.
std::string InstalledDriver()
{
    char directory[MAX_PATH] = {};
    Win32().GetSystemDirectoryA(directory, sizeof directory);
    return std::string(directory) + "\\drivers\\" + bypass::porttalk::kDriverFile;
}

SC_HANDLE OpenManager()
{
    SC_HANDLE manager = Win32().OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        throw CommandError{kExitNoPortAccess,
            "the service manager refused access (error " + std::to_string(Win32().GetLastError())
                + "): run as administrator"};
    return manager;
}

bool DeviceOpens()
{
    HANDLE device = Win32().CreateFileA(bypass::porttalk::kDevicePath, GENERIC_READ, 0, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return false;
    Win32().CloseHandle(device);
    return true;
}

void StopService(SC_HANDLE service)
{
    SERVICE_STATUS status;
    Win32().ControlService(service, SERVICE_CONTROL_STOP, &status);
}

// What install leaves on any failure: neither the service nor the file.
void RemoveEverything(SC_HANDLE service, const std::string& installed)
{
    if (service) {
        StopService(service);
        Win32().DeleteService(service);
    }
    Win32().DeleteFileA(installed.c_str());
}

void CheckReleaseDriver(const std::string& source)
{
    const std::string hash = FileSha256(source);
    if (hash.empty())
        throw CommandError{kExitNoPortAccess, "cannot read " + source};
    if (hash != kReleaseDriverSha256)
        throw CommandError{kExitBoardFailed,
            source + " is not the driver of this release: SHA-256 " + hash + ", this release's "
                + kReleaseDriverSha256 + "; nothing was installed"};
}

// Says why an existing service is being repaired: a failed first use of
// the library registers the service even when the file did not arrive.
void ReportRepair(const std::string& installed, Report& report)
{
    const std::string hash = FileSha256(installed);
    if (hash.empty())
        report.Say("repairing the PortTalk service: its file " + installed + " is missing");
    else if (hash != kReleaseDriverSha256)
        report.Say("repairing the PortTalk service: its file " + installed
            + " differs from this release's driver (SHA-256 " + hash + ")");
}

[[noreturn]] void Fail(SC_HANDLE service, const std::string& installed, const char* what)
{
    const DWORD error = Win32().GetLastError();
    RemoveEverything(service, installed);
    throw CommandError{kExitNoPortAccess,
        std::string(what) + " (error " + std::to_string(error)
            + "); the PortTalk service and its file were removed"};
}

} // namespace

void InstallDriver(Context& context)
{
    Report& report = context.report;
    const std::string source = DriverBesideBypassctl();
    CheckReleaseDriver(source);
    ScHandle manager(OpenManager());
    const std::string installed = InstalledDriver();
    ScHandle service(Win32().OpenServiceA(manager.Get(), kServiceName, SERVICE_ALL_ACCESS));
    if (service.Get())
        ReportRepair(installed, report);
    if (FileSha256(installed) != kReleaseDriverSha256
        && !Win32().CopyFileA(source.c_str(), installed.c_str(), FALSE))
        Fail(service.Get(), installed, "cannot copy the driver");
    if (!service.Get()) {
        service.Reset(Win32().CreateServiceA(manager.Get(), kServiceName, kServiceName,
            SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
            installed.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
        if (!service.Get())
            Fail(nullptr, installed, "cannot register the PortTalk service");
    } else if (!Win32().ChangeServiceConfigA(service.Get(), SERVICE_KERNEL_DRIVER,
                   SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, installed.c_str(), nullptr, nullptr,
                   nullptr, nullptr, nullptr, nullptr)) {
        Fail(service.Get(), installed, "cannot repair the PortTalk service");
    }
    if (!Win32().StartServiceA(service.Get(), 0, nullptr)
        && Win32().GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
        Fail(service.Get(), installed, "the PortTalk service does not start");
    report.Set("installed", installed);
    report.Set("sha256", kReleaseDriverSha256);
    report.Say("installed " + installed + " (SHA-256 " + kReleaseDriverSha256
        + ") and started the PortTalk service");
}

namespace {

const char* StateName(DWORD state)
{
    switch (state) {
    case SERVICE_RUNNING:
        return "running";
    case SERVICE_STOPPED:
        return "stopped";
    case SERVICE_START_PENDING:
        return "starting";
    case SERVICE_STOP_PENDING:
        return "stopping";
    default:
        return "paused";
    }
}

std::string ImagePath(SC_HANDLE service)
{
    DWORD needed = 0;
    Win32().QueryServiceConfigA(service, nullptr, 0, &needed);
    std::vector<char> buffer(needed ? needed : 1);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    if (!needed || !Win32().QueryServiceConfigA(service, config, needed, &needed))
        return "(unknown)";
    return config->lpBinaryPathName ? config->lpBinaryPathName : "";
}

} // namespace

void ShowDriverStatus(Context& context)
{
    Report& report = context.report;
    ScHandle manager(OpenManager());
    ScHandle service(Win32().OpenServiceA(
        manager.Get(), kServiceName, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG));
    SERVICE_STATUS status = {};
    if (!service.Get()) {
        report.Set("service", "not installed");
        report.Say("service: not installed");
    } else {
        Win32().QueryServiceStatus(service.Get(), &status);
        const std::string image = ImagePath(service.Get());
        report.Set("service", StateName(status.dwCurrentState));
        report.Set("image", image);
        report.Say(std::string("service: ") + StateName(status.dwCurrentState));
        report.Say("image: " + image);
    }
    const std::string installed = InstalledDriver();
    const std::string hash = FileSha256(installed);
    const std::string file = hash.empty() ? "missing"
        : hash == kReleaseDriverSha256    ? "matches this release"
                                          : "differs from this release (SHA-256 " + hash + ")";
    const bool opens = DeviceOpens();
    report.Set("file", installed);
    report.Set("file_state", file);
    report.Set("device_opens", opens);
    report.Say("file: " + installed + " " + file);
    report.Say(std::string("device: ") + (opens ? "opens" : "does not open"));
    // What is missing was shown above: no further line.
    if (!service.Get() || status.dwCurrentState != SERVICE_RUNNING || hash != kReleaseDriverSha256)
        throw CommandError{kExitNoPortAccess, ""};
}

void RemoveDriver(Context& context)
{
    ScHandle manager(OpenManager());
    ScHandle service(Win32().OpenServiceA(manager.Get(), kServiceName, SERVICE_ALL_ACCESS));
    const std::string installed = InstalledDriver();
    RemoveEverything(service.Get(), installed);
    context.report.Set("removed", installed);
    context.report.Say("removed the PortTalk service and " + installed);
}

} // namespace bypassctl
