#include "commands/Driver.h"

#include <CLI/CLI.hpp>

#if defined(_WIN32)

#include <windows.h>

#include <bcrypt.h>

#include <fstream>
#include <iterator>
#include <vector>

// The SHA-256 of the PortTalk.sys built with this bypassctl.
extern const char* const kReleaseDriverSha256;

namespace bypassctl {
namespace {

const char kService[] = "PortTalk";

// Ends the command with an exit code after its message went to err.
struct DriverFailure {
    int code;
};

class ScHandle {
public:
    explicit ScHandle(SC_HANDLE handle = nullptr)
        : m_handle(handle)
    {
    }
    ~ScHandle()
    {
        if (m_handle)
            CloseServiceHandle(m_handle);
    }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    void Reset(SC_HANDLE handle)
    {
        if (m_handle)
            CloseServiceHandle(m_handle);
        m_handle = handle;
    }
    SC_HANDLE Get() const { return m_handle; }

private:
    SC_HANDLE m_handle;
};

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
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string beside(path);
    beside.erase(beside.find_last_of("\\/") + 1);
    return beside + "PortTalk.sys";
}

// The installed driver's absolute path, which the service manager loads
// from wherever the system root is.
std::string InstalledDriver()
{
    char directory[MAX_PATH] = {};
    GetSystemDirectoryA(directory, sizeof directory);
    return std::string(directory) + "\\drivers\\PortTalk.sys";
}

SC_HANDLE OpenManager(Console& console)
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) {
        console.err << "bypassctl: the service manager refused access (error " << GetLastError()
                    << "): run as administrator" << std::endl;
        throw DriverFailure{kExitNoPortAccess};
    }
    return manager;
}

bool DeviceOpens()
{
    HANDLE device = CreateFileA(
        "\\\\.\\PortTalk", GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(device);
    return true;
}

void StopService(SC_HANDLE service)
{
    SERVICE_STATUS status;
    ControlService(service, SERVICE_CONTROL_STOP, &status);
}

// What install leaves on any failure: neither the service nor the file.
void RemoveEverything(SC_HANDLE service, const std::string& installed)
{
    if (service) {
        StopService(service);
        DeleteService(service);
    }
    DeleteFileA(installed.c_str());
}

void CheckReleaseDriver(const std::string& source, Console& console)
{
    const std::string hash = FileSha256(source);
    if (hash.empty()) {
        console.err << "bypassctl: cannot read " << source << std::endl;
        throw DriverFailure{kExitNoPortAccess};
    }
    if (hash != kReleaseDriverSha256) {
        console.err << "bypassctl: " << source << " is not the driver of this release: SHA-256 "
                    << hash << ", this release's " << kReleaseDriverSha256
                    << "; nothing was installed" << std::endl;
        throw DriverFailure{kExitBoardFailed};
    }
}

// Says why an existing service is being repaired: a failed first use of
// the library registers the service even when the file did not arrive.
void ReportRepair(const std::string& installed, Console& console)
{
    const std::string hash = FileSha256(installed);
    if (hash.empty())
        console.out << "repairing the PortTalk service: its file " << installed << " is missing"
                    << std::endl;
    else if (hash != kReleaseDriverSha256)
        console.out << "repairing the PortTalk service: its file " << installed
                    << " differs from this release's driver (SHA-256 " << hash << ")" << std::endl;
}

void Fail(SC_HANDLE service, const std::string& installed, const char* what, Console& console)
{
    const DWORD error = GetLastError();
    RemoveEverything(service, installed);
    console.err << "bypassctl: " << what << " (error " << error
                << "); the PortTalk service and its file were removed" << std::endl;
    throw DriverFailure{kExitNoPortAccess};
}

void Install(Console& console)
{
    const std::string source = DriverBesideBypassctl();
    CheckReleaseDriver(source, console);
    ScHandle manager(OpenManager(console));
    const std::string installed = InstalledDriver();
    ScHandle service(OpenServiceA(manager.Get(), kService, SERVICE_ALL_ACCESS));
    if (service.Get())
        ReportRepair(installed, console);
    if (FileSha256(installed) != kReleaseDriverSha256
        && !CopyFileA(source.c_str(), installed.c_str(), FALSE))
        Fail(service.Get(), installed, "cannot copy the driver", console);
    if (!service.Get()) {
        service.Reset(CreateServiceA(manager.Get(), kService, kService, SERVICE_ALL_ACCESS,
            SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, installed.c_str(),
            nullptr, nullptr, nullptr, nullptr, nullptr));
        if (!service.Get())
            Fail(nullptr, installed, "cannot register the PortTalk service", console);
    } else if (!ChangeServiceConfigA(service.Get(), SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                   SERVICE_ERROR_NORMAL, installed.c_str(), nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr)) {
        Fail(service.Get(), installed, "cannot repair the PortTalk service", console);
    }
    if (!StartServiceA(service.Get(), 0, nullptr)
        && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
        Fail(service.Get(), installed, "the PortTalk service does not start", console);
    console.out << "installed " << installed << " (SHA-256 " << kReleaseDriverSha256
                << ") and started the PortTalk service" << std::endl;
}

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
    QueryServiceConfigA(service, nullptr, 0, &needed);
    std::vector<char> buffer(needed ? needed : 1);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    if (!needed || !QueryServiceConfigA(service, config, needed, &needed))
        return "(unknown)";
    return config->lpBinaryPathName ? config->lpBinaryPathName : "";
}

void Status(Console& console)
{
    ScHandle manager(OpenManager(console));
    ScHandle service(
        OpenServiceA(manager.Get(), kService, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG));
    SERVICE_STATUS status = {};
    if (!service.Get()) {
        console.out << "service: not installed" << std::endl;
    } else {
        QueryServiceStatus(service.Get(), &status);
        console.out << "service: " << StateName(status.dwCurrentState) << "\n"
                    << "image: " << ImagePath(service.Get()) << std::endl;
    }
    const std::string installed = InstalledDriver();
    const std::string hash = FileSha256(installed);
    console.out << "file: " << installed << " "
                << (hash.empty() ? "missing"
                           : hash == kReleaseDriverSha256
                           ? "matches this release"
                           : "differs from this release (SHA-256 " + hash + ")")
                << "\n"
                << "device: " << (DeviceOpens() ? "opens" : "does not open") << std::endl;
    if (!service.Get() || status.dwCurrentState != SERVICE_RUNNING || hash != kReleaseDriverSha256)
        throw DriverFailure{kExitNoPortAccess};
}

void Remove(Console& console)
{
    ScHandle manager(OpenManager(console));
    ScHandle service(OpenServiceA(manager.Get(), kService, SERVICE_ALL_ACCESS));
    const std::string installed = InstalledDriver();
    RemoveEverything(service.Get(), installed);
    console.out << "removed the PortTalk service and " << installed << std::endl;
}

} // namespace

DriverCommand AddDriverCommand(CLI::App& app)
{
    DriverCommand command;
    command.driver = app.add_subcommand(
        "driver", "install, check or remove the PortTalk driver of this release (administrator)");
    command.driver->require_subcommand(1);
    command.install = command.driver->add_subcommand("install",
        "copy the PortTalk.sys beside bypassctl.exe into the drivers directory, if it is this "
        "release's, register and start its service (repairing one left by a failed first use)");
    command.status = command.driver->add_subcommand(
        "status", "show the service, its file, whether it is this release's and the device");
    command.remove
        = command.driver->add_subcommand("remove", "stop and delete the service and its file");
    return command;
}

bool DriverCommandParsed(const DriverCommand& command)
{
    return command.driver && command.driver->parsed();
}

int RunDriverCommand(const DriverCommand& command, Console& console)
{
    try {
        if (command.install->parsed())
            Install(console);
        else if (command.status->parsed())
            Status(console);
        else
            Remove(console);
    } catch (const DriverFailure& failure) {
        return failure.code;
    }
    return kExitDone;
}

} // namespace bypassctl

#else

namespace bypassctl {

DriverCommand AddDriverCommand(CLI::App&) { return {}; }
bool DriverCommandParsed(const DriverCommand&) { return false; }
int RunDriverCommand(const DriverCommand&, Console&) { return kExitUsage; }

} // namespace bypassctl

#endif
