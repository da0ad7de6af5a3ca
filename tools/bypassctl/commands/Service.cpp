#include "commands/Service.h"

#if defined(_WIN32)

#include <mutex>
#include <sstream>

namespace bypassctl {
namespace {

const ServiceApi kReal = {
    ::OpenSCManagerW,
    ::CreateServiceW,
    ::OpenServiceW,
    ::ChangeServiceConfig2W,
    ::ControlService,
    ::QueryServiceStatus,
    ::DeleteService,
    ::CloseServiceHandle,
    ::StartServiceCtrlDispatcherW,
    ::RegisterServiceCtrlHandlerExW,
    ::SetServiceStatus,
    ::ReportEventW,
    ::RegSetKeyValueW,
    ::RegDeleteKeyW,
    ::GetModuleFileNameW,
    ::WaitForSingleObject,
};

const ServiceApi* g_api = nullptr;

const ServiceApi& Api() { return g_api ? *g_api : kReal; }

const char kName[] = "bypassctl-keepalive";
const wchar_t kServiceName[] = L"bypassctl-keepalive";
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

std::wstring Widen(const std::string& text, UINT codePage)
{
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size, L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), wide.data(), size);
    return wide;
}

std::string Narrow(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(
        CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(size, '\0');
    WideCharToMultiByte(
        CP_UTF8, 0, text.data(), int(text.size()), narrow.data(), size, nullptr, nullptr);
    return narrow;
}

class ScHandle {
public:
    explicit ScHandle(SC_HANDLE handle)
        : m_handle(handle)
    {
    }
    ~ScHandle()
    {
        if (m_handle)
            Api().CloseServiceHandle(m_handle);
    }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    SC_HANDLE Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

private:
    SC_HANDLE m_handle;
};

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
    const SC_HANDLE manager = Api().OpenSCManagerW(nullptr, nullptr, access);
    if (!manager)
        Refused(what, GetLastError());
    return manager;
}

std::wstring ThisProgram()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = Api().GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        throw CommandError{kExitUsage,
            "cannot tell where bypassctl.exe is (error " + std::to_string(GetLastError()) + ")"};
    return std::wstring(path, length);
}

// What the service manager runs: this program, `service run` and
// keepalive's options as given.
std::wstring ServiceCommandLine(const std::vector<std::string>& keepaliveArgs)
{
    // A path holds no quote, so quotes alone make one argument of it.
    std::wstring line = L"\"" + ThisProgram() + L"\" service run";
    for (const std::string& arg : keepaliveArgs)
        line += L" " + QuoteArgument(Widen(arg, CP_ACP));
    return line;
}

// The description, a shutdown warning early enough to disarm, and a restart
// after a crash or a failed exit.
void ConfigureService(SC_HANDLE service, Report& report)
{
    SERVICE_DESCRIPTIONW description{const_cast<wchar_t*>(kDescription)};
    Api().ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description);
    // Older systems know no pre-shutdown: the service then hears the
    // shutdown itself, with less time.
    SERVICE_PRESHUTDOWN_INFO preshutdown{kStopWaitMs};
    Api().ChangeServiceConfig2W(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, &preshutdown);
    SC_ACTION restart[]
        = {{SC_ACTION_RESTART, 2000}, {SC_ACTION_RESTART, 2000}, {SC_ACTION_RESTART, 10000}};
    SERVICE_FAILURE_ACTIONSW actions{24 * 60 * 60, nullptr, nullptr, 3, restart};
    SERVICE_FAILURE_ACTIONS_FLAG onFailedExit{TRUE};
    if (!Api().ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &actions)
        || !Api().ChangeServiceConfig2W(
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
        = Api().RegSetKeyValueW(HKEY_LOCAL_MACHINE, kEventSourceKey, L"EventMessageFile",
            REG_EXPAND_SZ, program.c_str(), DWORD((program.size() + 1) * sizeof(wchar_t)));
    const LSTATUS kinds = file != ERROR_SUCCESS
        ? file
        : Api().RegSetKeyValueW(HKEY_LOCAL_MACHINE, kEventSourceKey, L"TypesSupported", REG_DWORD,
            &types, sizeof types);
    if (kinds != ERROR_SUCCESS)
        report.Warn("could not register the event source " + std::string(kName) + " (error "
            + std::to_string(kinds) + "): the event log shows its events without their text");
}

// Waits, bounded, for the service to report it has stopped.
bool WaitStopped(SC_HANDLE service)
{
    SERVICE_STATUS status{};
    for (DWORD waited = 0; waited < kStopWaitMs; waited += kStopPollMs) {
        if (!Api().QueryServiceStatus(service, &status) || status.dwCurrentState == SERVICE_STOPPED)
            return true;
        Sleep(kStopPollMs);
    }
    return false;
}

void StopForRemoval(SC_HANDLE service, Report& report)
{
    SERVICE_STATUS status{};
    if (!Api().ControlService(service, SERVICE_CONTROL_STOP, &status)) {
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

// ---- The service process ----

struct RunningService {
    std::vector<std::string> keepaliveArgs;
    std::mutex statusLock; // the control handler reports from another thread
    SERVICE_STATUS_HANDLE handle = nullptr;
    SERVICE_STATUS status{};
    HANDLE stopEvent = nullptr;
    int exitCode = kExitDone;
};

RunningService g_service;

void SetState(DWORD state, DWORD waitHintMs = 0)
{
    const std::lock_guard<std::mutex> lock(g_service.statusLock);
    SERVICE_STATUS& status = g_service.status;
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING
        ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN
        : 0;
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    status.dwCheckPoint = pending ? status.dwCheckPoint + 1 : 0;
    status.dwWaitHint = waitHintMs;
    Api().SetServiceStatus(g_service.handle, &status);
}

// keepalive's exit code as the service's: a failed exit is a service-specific
// error, which the failure actions answer with a restart. An expiry is not:
// the health checks failed and the watchdog took its action, which a restart
// would undo by arming it again.
void SetStopped(int exitCode)
{
    SERVICE_STATUS& status = g_service.status;
    const bool failed = exitCode != kExitDone && exitCode != kExitExpired;
    status.dwWin32ExitCode = failed ? ERROR_SERVICE_SPECIFIC_ERROR : NO_ERROR;
    status.dwServiceSpecificExitCode = DWORD(exitCode);
    SetState(SERVICE_STOPPED);
}

// A stop and a shutdown are both orderly: keepalive disarms (unless
// --leave-armed) before the system goes down, so that an expiry during a
// long shutdown neither resets the machine nor joins the ports mid-update.
DWORD WINAPI OnControl(DWORD control, DWORD /*type*/, LPVOID /*data*/, LPVOID /*context*/)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
    case SERVICE_CONTROL_PRESHUTDOWN:
        SetState(SERVICE_STOP_PENDING, 10000);
        SetEvent(g_service.stopEvent);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

class ServiceStop : public StopSignal {
public:
    void Listen() override { }
    bool WaitFor(unsigned seconds) override
    {
        return Api().WaitForSingleObject(g_service.stopEvent, seconds * 1000) == WAIT_OBJECT_0;
    }
};

WORD EventType(Priority priority)
{
    if (priority <= Priority::Error)
        return EVENTLOG_ERROR_TYPE;
    return priority == Priority::Warning ? EVENTLOG_WARNING_TYPE : EVENTLOG_INFORMATION_TYPE;
}

// Each event a line in the Application log; readiness and the stop reach the
// service manager.
class EventLogSupervisor : public Supervisor {
public:
    EventLogSupervisor()
        : m_source(RegisterEventSourceW(nullptr, kServiceName))
    {
    }
    ~EventLogSupervisor() override
    {
        if (m_source)
            DeregisterEventSource(m_source);
    }
    EventLogSupervisor(const EventLogSupervisor&) = delete;
    EventLogSupervisor& operator=(const EventLogSupervisor&) = delete;

    void Log(Priority priority, const std::string& line) override
    {
        const std::wstring text = Widen(line, CP_UTF8);
        LPCWSTR strings[] = {text.c_str()};
        // Event 1 of the message table is "%1": the line itself.
        Api().ReportEventW(m_source, EventType(priority), 0, 1, nullptr, 1, 0, strings, nullptr);
    }
    void Ready() override { SetState(SERVICE_RUNNING); }
    void Stopping() override { SetState(SERVICE_STOP_PENDING, 10000); }

private:
    HANDLE m_source;
};

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

int RunKeepalive()
{
    EventLogSupervisor log;
    ServiceStop stop;
    std::ostringstream out, err;
    Console console{out, err, stderr, stop, log, ""};
    std::vector<std::string> args{"keepalive"};
    args.insert(args.end(), g_service.keepaliveArgs.begin(), g_service.keepaliveArgs.end());
    const int code = RunBypassctl(args, console);
    LogLines(log, code == kExitDone ? Priority::Warning : Priority::Error, err.str());
    return code;
}

void WINAPI ServiceMain(DWORD /*argc*/, LPWSTR* /*argv*/)
{
    g_service.handle = Api().RegisterServiceCtrlHandlerExW(kServiceName, OnControl, nullptr);
    if (!g_service.handle)
        return;
    g_service.stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // Identifying the board may ask WMI, which takes seconds on a cold system.
    SetState(SERVICE_START_PENDING, 30000);
    g_service.exitCode = RunKeepalive();
    CloseHandle(g_service.stopEvent);
    SetStopped(g_service.exitCode);
}

} // namespace

const ServiceApi* SetServiceApi(const ServiceApi* api)
{
    const ServiceApi* previous = g_api;
    g_api = api;
    return previous;
}

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
    const std::wstring commandLine = ServiceCommandLine(context.options.arguments);
    ScHandle manager(OpenManager("service install", SC_MANAGER_CREATE_SERVICE));
    ScHandle service(Api().CreateServiceW(manager.Get(), kServiceName, kDisplayName,
        SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
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
    ScHandle service(Api().OpenServiceW(
        manager.Get(), kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!service) {
        const DWORD error = GetLastError();
        if (error == kNotInstalled)
            throw CommandError{kExitUsage, "service " + std::string(kName) + " is not installed"};
        Refused("service remove", error);
    }
    StopForRemoval(service.Get(), report);
    if (!Api().DeleteService(service.Get())) {
        const DWORD error = GetLastError();
        if (error == ERROR_SERVICE_MARKED_FOR_DELETE)
            throw CommandError{kExitUsage,
                "service " + std::string(kName) + " is already removed; it goes once it stops"};
        Refused("service remove", error);
    }
    Api().RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEventSourceKey);
    report.Set("service", kName);
    report.Say("service " + std::string(kName) + " removed");
}

void RunService(Context& context)
{
    g_service.keepaliveArgs = context.options.arguments;
    g_service.status = {};
    g_service.exitCode = kExitDone;
    const SERVICE_TABLE_ENTRYW table[]
        = {{const_cast<wchar_t*>(kServiceName), ServiceMain}, {nullptr, nullptr}};
    if (!Api().StartServiceCtrlDispatcherW(table)) {
        const DWORD error = GetLastError();
        if (error == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT)
            throw CommandError{kExitUsage,
                "service run is started by the service manager, not from a console: install "
                "with bypassctl service install, then sc start "
                    + std::string(kName) + "; or run bypassctl keepalive here"};
        throw CommandError{kExitNoPortAccess,
            "the service manager did not take the service (error " + std::to_string(error) + ")"};
    }
    // The service's stop has been reported; the process ends with keepalive's code.
    if (g_service.exitCode != kExitDone)
        throw CommandError{ExitCode(g_service.exitCode),
            "keepalive ended with exit code " + std::to_string(g_service.exitCode)
                + " (see the Application event log)"};
}

} // namespace bypassctl

#endif
