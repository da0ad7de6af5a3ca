// bypassctl driver install | status | remove (Windows): the PortTalk driver
// of this release, installed only when the file beside bypassctl.exe is
// this release's driver, signed or not: the two must have the same image
// digest, which signing leaves alone. Every Win32 call goes through
// Win32(), so tests reach each error branch.
#include "cli/Command.h"
#include "platform/ImageDigest.h"
#include "platform/WideText.h"

#include "portio/PortTalkPaths.h"
#include "portio/Win32Api.h"

#include <windows.h>

#include <vector>

// PortTalk.sys as built with this bypassctl.
extern const std::vector<unsigned char> kReleaseDriver;

namespace bypassctl {
namespace {

using bypass::Win32;
using bypass::porttalk::kServiceName;
// The driver's service, through the table the library's driver code uses.
using ScHandle = bypass::ScHandle<bypass::Win32Api>;

const std::string& ReleaseDigest()
{
    static const std::string digest = ImageDigest(kReleaseDriver);
    return digest;
}

// The whole file; false when it cannot be read.
bool ReadWholeFile(const std::wstring& path, std::vector<unsigned char>& bytes)
{
    const HANDLE file = Win32().CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size{};
    DWORD read = 0;
    constexpr LONGLONG kMaxDriver = 64 << 20;
    bool ok = Win32().GetFileSizeEx(file, &size) && size.QuadPart < kMaxDriver;
    if (ok) {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        ok = Win32().ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)
            && read == bytes.size();
    }
    Win32().CloseHandle(file);
    return ok;
}

// The file's image digest; empty when it cannot be read or is no PE image.
std::string FileDigest(const std::wstring& path)
{
    std::vector<unsigned char> bytes;
    return ReadWholeFile(path, bytes) ? ImageDigest(bytes) : "";
}

bool WriteWholeFile(const std::wstring& path, const std::vector<unsigned char>& bytes)
{
    const HANDLE file = Win32().CreateFileW(
        path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok
        = Win32().WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)
        && written == bytes.size() && Win32().FlushFileBuffers(file);
    const DWORD error = Win32().GetLastError();
    Win32().CloseHandle(file);
    Win32().SetLastError(error);
    return ok;
}

std::wstring DriverBesideBypassctl()
{
    wchar_t path[MAX_PATH] = {};
    Win32().GetModuleFileNameW(nullptr, path, MAX_PATH);
    return Widen(bypass::porttalk::DriverBeside(Narrow(path)));
}

std::wstring WindowsDirectory()
{
    wchar_t directory[MAX_PATH] = {};
    Win32().GetSystemWindowsDirectoryW(directory, MAX_PATH);
    return directory;
}

// The installed driver's absolute path, which the service manager loads
// from wherever the system root is.
std::wstring InstalledDriver()
{
    return WindowsDirectory() + L"\\System32\\drivers\\" + Widen(bypass::porttalk::kDriverFile);
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
void RemoveEverything(SC_HANDLE service, const std::wstring& installed)
{
    if (service) {
        StopService(service);
        Win32().DeleteService(service);
    }
    Win32().DeleteFileW(installed.c_str());
}

// The driver beside bypassctl, read once: the bytes checked are the bytes
// installed.
std::vector<unsigned char> ReadReleaseDriver(const std::wstring& source)
{
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(source, bytes))
        throw CommandError{kExitNoPortAccess, "cannot read " + Narrow(source)};
    const std::string digest = ImageDigest(bytes);
    if (digest != ReleaseDigest())
        throw CommandError{kExitBoardFailed,
            Narrow(source) + " is not the driver of this release: image digest "
                + (digest.empty() ? "none (not a PE image)" : digest) + ", this release's "
                + ReleaseDigest() + "; nothing was installed"};
    return bytes;
}

// Says why an existing service is being repaired: a failed first use of
// the library registers the service even when the file did not arrive.
void ReportRepair(const std::wstring& installed, Report& report)
{
    const std::string digest = FileDigest(installed);
    if (digest.empty())
        report.Say("repairing the PortTalk service: its file " + Narrow(installed) + " is missing");
    else if (digest != ReleaseDigest())
        report.Say("repairing the PortTalk service: its file " + Narrow(installed)
            + " differs from this release's driver (image digest " + digest + ")");
}

[[noreturn]] void Fail(SC_HANDLE service, const std::wstring& installed, const char* what)
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
    const std::vector<unsigned char> driver = ReadReleaseDriver(DriverBesideBypassctl());
    ScHandle manager(OpenManager());
    const std::wstring installed = InstalledDriver();
    ScHandle service(Win32().OpenServiceA(manager.Get(), kServiceName, SERVICE_ALL_ACCESS));
    if (service.Get())
        ReportRepair(installed, report);
    // A driver that is loaded keeps its file open: one with this release's
    // digest stays.
    if (FileDigest(installed) != ReleaseDigest() && !WriteWholeFile(installed, driver))
        Fail(service.Get(), installed, "cannot write the driver");
    if (!service.Get()) {
        service.Reset(Win32().CreateServiceW(manager.Get(), Widen(kServiceName).c_str(),
            Widen(kServiceName).c_str(), SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
            SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, installed.c_str(), nullptr, nullptr,
            nullptr, nullptr, nullptr));
        if (!service.Get())
            Fail(nullptr, installed, "cannot register the PortTalk service");
    } else if (!Win32().ChangeServiceConfigW(service.Get(), SERVICE_KERNEL_DRIVER,
                   SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, installed.c_str(), nullptr, nullptr,
                   nullptr, nullptr, nullptr, nullptr)) {
        Fail(service.Get(), installed, "cannot repair the PortTalk service");
    }
    if (!Win32().StartServiceA(service.Get(), 0, nullptr)
        && Win32().GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
        Fail(service.Get(), installed, "the PortTalk service does not start");
    report.Set("installed", Narrow(installed));
    report.Set("image_digest", ReleaseDigest());
    report.Say("installed " + Narrow(installed) + " (image digest " + ReleaseDigest()
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

// The service's ImagePath as registered; empty when it cannot be read.
std::wstring ImagePath(SC_HANDLE service)
{
    DWORD needed = 0;
    Win32().QueryServiceConfigW(service, nullptr, 0, &needed);
    std::vector<unsigned char> buffer(needed ? needed : 1);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!needed || !Win32().QueryServiceConfigW(service, config, needed, &needed)
        || !config->lpBinaryPathName)
        return L"";
    return config->lpBinaryPathName;
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    return _wcsnicmp(text.c_str(), prefix, wcslen(prefix)) == 0;
}

// The file the kernel loads for an ImagePath: environment variables
// expanded, "\SystemRoot\" and a path without a drive taken from the system
// root, the object manager's "\??\" prefix dropped.
std::wstring ResolveImagePath(const std::wstring& image)
{
    wchar_t expanded[MAX_PATH * 2] = {};
    const DWORD length = Win32().ExpandEnvironmentStringsW(image.c_str(), expanded, MAX_PATH * 2);
    std::wstring path = length && length <= MAX_PATH * 2 ? expanded : image;
    if (StartsWith(path, L"\\??\\"))
        return path.substr(4);
    if (StartsWith(path, L"\\SystemRoot\\"))
        return WindowsDirectory() + path.substr(11);
    const bool absolute = path.size() > 1 && (path[1] == L':' || path[0] == L'\\');
    return absolute ? path : WindowsDirectory() + L"\\" + path;
}

void ReportState(Report& report, SC_HANDLE service, DWORD state, const std::wstring& image)
{
    if (!service) {
        report.Set("service", "not installed");
        report.Say("service: not installed");
        return;
    }
    report.Set("service", StateName(state));
    report.Set("image", Narrow(image));
    report.Say(std::string("service: ") + StateName(state));
    report.Say("image: " + Narrow(image));
}

} // namespace

// The file checked is the one the service loads; with no service, the one
// install would write.
void ShowDriverStatus(Context& context)
{
    Report& report = context.report;
    ScHandle manager(OpenManager());
    ScHandle service(Win32().OpenServiceA(
        manager.Get(), kServiceName, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG));
    SERVICE_STATUS status = {};
    std::wstring image;
    if (service.Get()) {
        Win32().QueryServiceStatus(service.Get(), &status);
        image = ImagePath(service.Get());
    }
    ReportState(report, service.Get(), status.dwCurrentState, image);
    const std::wstring loaded = image.empty() ? InstalledDriver() : ResolveImagePath(image);
    const std::string digest = FileDigest(loaded);
    const std::string file = digest.empty() ? "missing or no PE image"
        : digest == ReleaseDigest()         ? "matches this release"
                                    : "differs from this release (image digest " + digest + ")";
    const bool opens = DeviceOpens();
    report.Set("file", Narrow(loaded));
    report.Set("file_state", file);
    report.Set("device_opens", opens);
    report.Say("file: " + Narrow(loaded) + " " + file);
    report.Say(std::string("device: ") + (opens ? "opens" : "does not open"));
    // What is missing was shown above: no further line.
    if (!service.Get() || status.dwCurrentState != SERVICE_RUNNING || digest != ReleaseDigest())
        throw CommandError{kExitNoPortAccess, ""};
}

void RemoveDriver(Context& context)
{
    ScHandle manager(OpenManager());
    ScHandle service(Win32().OpenServiceA(manager.Get(), kServiceName, SERVICE_ALL_ACCESS));
    const std::wstring installed = InstalledDriver();
    const bool hadFile = Win32().GetFileAttributesW(installed.c_str()) != INVALID_FILE_ATTRIBUTES;
    // Nothing to remove is a mistake of the caller's, as for the keepalive service.
    if (!service.Get() && !hadFile)
        throw CommandError{kExitUsage,
            "the PortTalk driver is not installed: no PortTalk service and no "
                + Narrow(installed)};
    RemoveEverything(service.Get(), installed);
    std::string removed = service.Get() ? "the PortTalk service" : "";
    if (hadFile)
        removed += (removed.empty() ? "" : " and ") + Narrow(installed);
    context.report.Set("removed", removed);
    context.report.Say("removed " + removed
        + (service.Get() ? "" : " (there was no PortTalk service)")
        + (hadFile ? "" : " (there was no driver file)"));
}

} // namespace bypassctl
