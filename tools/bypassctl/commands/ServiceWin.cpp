#include "commands/Service.h"

#include "cli/Command.h"

#include "platform/WideText.h"
#include "supervise/ServiceHost.h"

#include <sddl.h>

#include <sstream>

namespace bypassctl {
namespace {

const char* const kName = kServiceNameUtf8;
const wchar_t kDisplayName[] = L"bypassctl keepalive";
const wchar_t kDescription[]
    = L"Re-arms the appliance's hardware watchdog while this system is healthy, so that the "
      L"LAN bypass or a restart takes over when it is not; a stop or a shutdown disarms it.";
const wchar_t kEventSourceKey[]
    = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\bypassctl-keepalive";

// The service manager's answers that change what bypassctl says.
constexpr DWORD kNotInstalled = ERROR_SERVICE_DOES_NOT_EXIST;
constexpr DWORD kNotStarted = ERROR_SERVICE_NOT_ACTIVE;

// How long remove waits for a running service to disarm and stop.
constexpr DWORD kStopWaitMs = 30000;
constexpr DWORD kStopPollMs = 250;

// Access denied is the missing administrator: exit 3 with what to do.
[[noreturn]] void Refused(const char* what, DWORD error)
{
    if (error == ERROR_ACCESS_DENIED)
        throw CommandError{kExitNoPortAccess,
            std::string(what)
                + " needs administrator rights: run bypassctl from an elevated prompt (the "
                  "service manager denied access)"};
    throw CommandError{kExitNoPortAccess,
        std::string(what) + " failed: the service manager answered error " + std::to_string(error)};
}

SC_HANDLE OpenManager(const char* what, DWORD access)
{
    const SC_HANDLE manager = ServiceCalls().OpenSCManagerW(nullptr, nullptr, access);
    if (!manager)
        Refused(what, GetLastError());
    return manager;
}

std::wstring ThisProgram()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ServiceCalls().GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        throw CommandError{kExitUsage,
            "cannot tell where bypassctl.exe is (error " + std::to_string(GetLastError()) + ")"};
    return std::wstring(path, length);
}

// The rights that let a holder replace or change a file, or a folder's
// files: writing, appending (a folder: adding files and folders), deleting
// (a folder: its children), and taking over the access list or the owner.
constexpr DWORD kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE
    | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// SYSTEM, the Administrators group, TrustedInstaller, and the account that
// installs (an administrator: installing a service takes one).
bool MayChangeServiceFiles(PSID sid)
{
    static const wchar_t* const kTrusted[] = {L"S-1-5-18", L"S-1-5-32-544",
        L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"};
    for (const wchar_t* text : kTrusted) {
        PSID trusted = nullptr;
        const bool same = ConvertStringSidToSidW(text, &trusted) && EqualSid(sid, trusted);
        LocalFree(trusted);
        if (same)
            return true;
    }
    HANDLE token = nullptr;
    BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    const bool installer = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)
        && GetTokenInformation(token, TokenUser, user, sizeof user, &size)
        && EqualSid(sid, reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
    if (token)
        CloseHandle(token);
    return installer;
}

std::string SidText(PSID sid)
{
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text))
        return "an unknown account";
    const std::string narrow = Narrow(text);
    LocalFree(text);
    return narrow;
}

// Who besides the trusted accounts can change path: its owner (who may
// always rewrite its access list) or an allow entry with a change right that
// applies to path itself. Empty when no one.
std::string OtherWriter(const std::wstring& path)
{
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error = ServiceCalls().GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr, &dacl, nullptr,
        &descriptor);
    std::string writer;
    if (error != ERROR_SUCCESS)
        writer = "its access list cannot be read (error " + std::to_string(error) + ")";
    else if (!dacl)
        writer = "it has no access list, so everyone";
    else if (!MayChangeServiceFiles(owner))
        writer = "its owner " + SidText(owner);
    for (DWORD i = 0; writer.empty() && dacl && i < dacl->AceCount; ++i) {
        ACE_HEADER* ace = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace))
            || ace->AceType != ACCESS_ALLOWED_ACE_TYPE || (ace->AceFlags & INHERIT_ONLY_ACE))
            continue;
        auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace);
        const PSID sid = &allowed->SidStart;
        if ((allowed->Mask & kChangeRights) && !MayChangeServiceFiles(sid))
            writer = SidText(sid);
    }
    LocalFree(descriptor);
    return writer.empty() ? "" : Narrow(path) + ": " + writer + " can change it";
}

// The program's folder, the program and the DLLs beside it, which Windows
// loads from there first.
std::vector<std::wstring> ServiceFiles(const std::wstring& program)
{
    const std::wstring folder = program.substr(0, program.find_last_of(L"\\/"));
    std::vector<std::wstring> files{folder, program};
    WIN32_FIND_DATAW found{};
    const HANDLE search = ServiceCalls().FindFirstFileW((folder + L"\\*.dll").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return files;
    do
        files.push_back(folder + L"\\" + found.cFileName);
    while (ServiceCalls().FindNextFileW(search, &found));
    ServiceCalls().FindClose(search);
    return files;
}

// The service runs as LocalSystem: whoever can change its program or a DLL
// it loads runs code as LocalSystem. A folder of its own under C:\ lets
// every signed-in user do that (Authenticated Users: Modify).
void CheckNoOtherWriter(const std::wstring& program)
{
    for (const std::wstring& file : ServiceFiles(program)) {
        const std::string writer = OtherWriter(file);
        if (!writer.empty())
            throw CommandError{kExitUsage,
                "the service would run as LocalSystem from a place others can change: " + writer
                    + ". Install bypassctl under Program Files (the MSI package does) and run "
                      "service install from there"};
    }
}

// What the service manager runs: this program, `service run` and
// keepalive's options as given.
std::wstring ServiceCommandLine(const std::vector<std::string>& keepaliveArgs)
{
    // A path holds no quote, so quotes alone make one argument of it.
    std::wstring line = L"\"" + ThisProgram() + L"\" service run";
    for (const std::string& arg : keepaliveArgs)
        line += L" " + QuoteArgument(Widen(arg));
    return line;
}

// The description, a shutdown warning early enough to disarm, and a restart
// after a crash or a failed exit.
void ConfigureService(SC_HANDLE service, Report& report)
{
    SERVICE_DESCRIPTIONW description{const_cast<wchar_t*>(kDescription)};
    ServiceCalls().ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description);
    // Older systems know no pre-shutdown: the service then hears the
    // shutdown itself, with less time.
    SERVICE_PRESHUTDOWN_INFO preshutdown{kStopWaitMs};
    ServiceCalls().ChangeServiceConfig2W(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, &preshutdown);
    SC_ACTION restart[]
        = {{SC_ACTION_RESTART, 2000}, {SC_ACTION_RESTART, 2000}, {SC_ACTION_RESTART, 10000}};
    SERVICE_FAILURE_ACTIONSW actions{24 * 60 * 60, nullptr, nullptr, 3, restart};
    SERVICE_FAILURE_ACTIONS_FLAG onFailedExit{TRUE};
    if (!ServiceCalls().ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &actions)
        || !ServiceCalls().ChangeServiceConfig2W(
            service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &onFailedExit))
        report.Warn("the service manager will not restart the service after a failure (error "
            + std::to_string(GetLastError()) + ")");
}

// Event log entries name their source; the message file (this program)
// lets the log show each line as it was written.
void RegisterEventLogSource(const std::wstring& program, Report& report)
{
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    const LSTATUS file
        = ServiceCalls().RegSetKeyValueW(HKEY_LOCAL_MACHINE, kEventSourceKey, L"EventMessageFile",
            REG_EXPAND_SZ, program.c_str(), DWORD((program.size() + 1) * sizeof(wchar_t)));
    const LSTATUS kinds = file != ERROR_SUCCESS
        ? file
        : ServiceCalls().RegSetKeyValueW(HKEY_LOCAL_MACHINE, kEventSourceKey, L"TypesSupported",
            REG_DWORD, &types, sizeof types);
    if (kinds != ERROR_SUCCESS)
        report.Warn("could not register the event source " + std::string(kName) + " (error "
            + std::to_string(kinds) + "): the event log shows its events without their text");
}

// Waits, bounded, for the service to report it has stopped.
bool WaitStopped(SC_HANDLE service)
{
    SERVICE_STATUS status{};
    for (DWORD waited = 0; waited < kStopWaitMs; waited += kStopPollMs) {
        if (!ServiceCalls().QueryServiceStatus(service, &status)
            || status.dwCurrentState == SERVICE_STOPPED)
            return true;
        Sleep(kStopPollMs);
    }
    return false;
}

void StopForRemoval(SC_HANDLE service, Report& report)
{
    SERVICE_STATUS status{};
    if (!ServiceCalls().ControlService(service, SERVICE_CONTROL_STOP, &status)) {
        const DWORD error = GetLastError();
        if (error != kNotStarted)
            report.Warn("could not stop " + std::string(kName) + " (error " + std::to_string(error)
                + "); it is removed once it stops");
        return;
    }
    if (WaitStopped(service))
        report.Say("service " + std::string(kName) + " stopped");
    else
        report.Warn(std::string(kName) + " did not stop within "
            + std::to_string(kStopWaitMs / 1000) + " s; it is removed once it stops");
}

// Each line keepalive wrote to standard error, as events: its refusals and
// warnings would otherwise go nowhere in a service. Its report on standard
// output repeats the events it logs itself.
void LogLines(Supervisor& log, Priority priority, const std::string& text)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty())
            log.Log(priority, line);
    }
}

// keepalive with the installed options, its console the service's. An
// expiry is no failed exit: the health checks failed and the watchdog took
// its action, which a restart would undo by arming it again.
KeepaliveExit RunKeepalive(
    const std::vector<std::string>& keepaliveArgs, StopSignal& stop, Supervisor& log)
{
    std::ostringstream out, err;
    Console console{out, err, stderr, stop, log, ""};
    std::vector<std::string> args{"keepalive"};
    args.insert(args.end(), keepaliveArgs.begin(), keepaliveArgs.end());
    const int code = RunBypassctl(args, console);
    LogLines(log, code == kExitDone ? Priority::Warning : Priority::Error, err.str());
    return {code, code != kExitDone && code != kExitExpired};
}

} // namespace

std::wstring QuoteArgument(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    // Backslashes are literal unless they precede a quote: there, and before
    // the closing quote, each is doubled.
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        quoted += c;
        backslashes = 0;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

void InstallService(Context& context)
{
    Report& report = context.report;
    CheckKeepaliveOptions(context);
    const std::wstring program = ThisProgram();
    CheckNoOtherWriter(program);
    const std::wstring commandLine = ServiceCommandLine(context.options.arguments);
    ScHandle manager(OpenManager("service install", SC_MANAGER_CREATE_SERVICE));
    ScHandle service(ServiceCalls().CreateServiceW(manager.Get(), kServiceName, kDisplayName,
        SERVICE_ALL_ACCESS, kOwnProcessService, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
        commandLine.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service) {
        const DWORD error = GetLastError();
        if (error == ERROR_SERVICE_EXISTS)
            throw CommandError{kExitUsage,
                "service " + std::string(kName)
                    + " is already installed (bypassctl service remove removes it)"};
        Refused("service install", error);
    }
    ConfigureService(service.Get(), report);
    RegisterEventLogSource(program, report);
    report.Set("service", kName);
    report.Set("command_line", Narrow(commandLine));
    report.Say(
        "service " + std::string(kName) + " installed, starting at boot: " + Narrow(commandLine));
    report.Say("start it now with: sc start " + std::string(kName));
}

void RemoveService(Context& context)
{
    Report& report = context.report;
    ScHandle manager(OpenManager("service remove", SC_MANAGER_CONNECT));
    ScHandle service(ServiceCalls().OpenServiceW(
        manager.Get(), kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!service) {
        const DWORD error = GetLastError();
        if (error == kNotInstalled)
            throw CommandError{kExitUsage, "service " + std::string(kName) + " is not installed"};
        Refused("service remove", error);
    }
    StopForRemoval(service.Get(), report);
    if (!ServiceCalls().DeleteService(service.Get())) {
        const DWORD error = GetLastError();
        if (error == ERROR_SERVICE_MARKED_FOR_DELETE)
            throw CommandError{kExitUsage,
                "service " + std::string(kName) + " is already removed; it goes once it stops"};
        Refused("service remove", error);
    }
    ServiceCalls().RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEventSourceKey);
    report.Set("service", kName);
    report.Say("service " + std::string(kName) + " removed");
}

void RunService(Context& context)
{
    const std::vector<std::string> keepaliveArgs = context.options.arguments;
    int exitCode = kExitDone;
    const DWORD error
        = HostService([&keepaliveArgs](StopSignal& stop,
                          Supervisor& log) { return RunKeepalive(keepaliveArgs, stop, log); },
            exitCode);
    if (error == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT)
        throw CommandError{kExitUsage,
            "service run is started by the service manager, not from a console: install "
            "with bypassctl service install, then sc start "
                + std::string(kName) + "; or run bypassctl keepalive here"};
    if (error != ERROR_SUCCESS)
        throw CommandError{kExitNoPortAccess,
            "the service manager did not take the service (error " + std::to_string(error) + ")"};
    // The service's stop has been reported; the process ends with keepalive's code.
    if (exitCode != kExitDone)
        throw CommandError{ExitCode(exitCode),
            "keepalive ended with exit code " + std::to_string(exitCode)
                + " (see the Application event log)"};
}

} // namespace bypassctl
