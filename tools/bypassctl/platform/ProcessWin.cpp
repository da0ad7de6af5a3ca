#include "platform/Process.h"

#include "platform/Files.h"
#include "platform/WideText.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <filesystem>

namespace bypassctl {
namespace {

// The file name of the program process runs, empty when it cannot be told.
std::wstring ProgramOf(HANDLE process)
{
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    if (!QueryFullProcessImageNameW(process, 0, path, &size))
        return L"";
    return std::filesystem::path(path).filename().wstring();
}

} // namespace

long OwnPid() { return static_cast<long>(GetCurrentProcessId()); }

unsigned long long BootClockMs() { return GetTickCount64(); }

// A process this account may not open (another user's service) is running:
// only a process that exists can refuse access.
bool IsRunning(long pid)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

// A running process with this program's image name, whatever its folder.
bool IsRunningThisProgram(long pid)
{
    HANDLE process = OpenProcess(
        SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return false;
    const std::wstring program = ProgramOf(process);
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT && !program.empty()
        && _wcsicmp(program.c_str(), ProgramOf(GetCurrentProcess()).c_str()) == 0;
    CloseHandle(process);
    return running;
}

// A first use without PortTalk.sys leaves a service whose driver file is
// missing; driver install copies the file and mends the service.
std::string NoPortAccessText()
{
    return "no port access: the PortTalk driver could not be opened (run bypassctl driver "
           "install as administrator, then run as administrator; or use --simulate)";
}

std::string PortPathInUse() { return "driver \\\\.\\PortTalk"; }

std::string PortPathToBeUsed() { return PortPathInUse(); }

std::string NoProductNameText()
{
    return "the board reports no product name (WMI Win32_BaseBoard.Product is empty)";
}

const std::vector<std::string>* KernelWatchdogModules() { return nullptr; }

// The folder itself, not the ProgramData variable: a service's environment
// need not name the same folder (Wine's service manager gives its services
// C:\users\Public), and a console bypassctl and the keepalive service must
// meet at one lock and one keepalive file.
std::string SystemLockDirectory()
{
    PWSTR path = nullptr;
    const bool found = SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &path));
    const std::string folder = found ? Narrow(path) : "C:\\ProgramData";
    CoTaskMemFree(path);
    return folder;
}

// The temporary directory is the user's own on Windows.
std::string UserLockDirectory()
{
    std::error_code error;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(error);
    return error ? std::string(".") : temp.string();
}

System ThisSystem() { return System::Windows; }

std::tm UtcCalendar(std::time_t when)
{
    std::tm utc{};
    gmtime_s(&utc, &when);
    return utc;
}

} // namespace bypassctl
