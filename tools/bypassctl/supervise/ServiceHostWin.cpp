#include "supervise/ServiceHost.h"

#include "platform/WideText.h"

#include <mutex>

namespace bypassctl {

const char kServiceNameUtf8[] = "bypassctl-keepalive";
const wchar_t kServiceName[] = L"bypassctl-keepalive";

namespace {

struct RunningService {
    const KeepaliveInService* keepalive = nullptr;
    std::mutex statusLock; // the control handler reports from another thread
    SERVICE_STATUS_HANDLE handle = nullptr;
    SERVICE_STATUS status{};
    HANDLE stopEvent = nullptr;
    int exitCode = 0;
};

RunningService g_service;

void SetState(DWORD state, DWORD waitHintMs = 0)
{
    const std::lock_guard<std::mutex> lock(g_service.statusLock);
    SERVICE_STATUS& status = g_service.status;
    status.dwServiceType = kOwnProcessService;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING
        ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN
        : 0;
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    status.dwCheckPoint = pending ? status.dwCheckPoint + 1 : 0;
    status.dwWaitHint = waitHintMs;
    ServiceCalls().SetServiceStatus(g_service.handle, &status);
}

// keepalive's exit code as the service's: a failed exit is a service-specific
// error, which the failure actions answer with a restart. The exits a
// restart cannot mend (refused options, an unsupported board, an expiry)
// are not: the code is still reported, with no error.
void SetStopped(int exitCode, bool failed)
{
    SERVICE_STATUS& status = g_service.status;
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
        return ServiceCalls().WaitForSingleObject(g_service.stopEvent, seconds * 1000)
            == WAIT_OBJECT_0;
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
        const std::wstring text = Widen(line);
        LPCWSTR strings[] = {text.c_str()};
        // Event 1 of the message table is "%1": the line itself.
        ServiceCalls().ReportEventW(
            m_source, EventType(priority), 0, 1, nullptr, 1, 0, strings, nullptr);
    }
    void Ready() override { SetState(SERVICE_RUNNING); }
    void Stopping() override { SetState(SERVICE_STOP_PENDING, 10000); }

private:
    HANDLE m_source;
};

KeepaliveExit RunKeepalive()
{
    EventLogSupervisor log;
    ServiceStop stop;
    return (*g_service.keepalive)(stop, log);
}

void WINAPI ServiceMain(DWORD /*argc*/, LPWSTR* /*argv*/)
{
    g_service.handle
        = ServiceCalls().RegisterServiceCtrlHandlerExW(kServiceName, OnControl, nullptr);
    if (!g_service.handle)
        return;
    g_service.stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // Identifying the board may ask WMI, which takes seconds on a cold system.
    SetState(SERVICE_START_PENDING, 30000);
    const KeepaliveExit exit = RunKeepalive();
    g_service.exitCode = exit.code;
    CloseHandle(g_service.stopEvent);
    SetStopped(exit.code, exit.failed);
}

} // namespace

DWORD HostService(const KeepaliveInService& keepalive, int& exitCode)
{
    g_service.keepalive = &keepalive;
    g_service.status = {};
    g_service.exitCode = 0;
    const SERVICE_TABLE_ENTRYW table[]
        = {{const_cast<wchar_t*>(kServiceName), ServiceMain}, {nullptr, nullptr}};
    const DWORD error
        = ServiceCalls().StartServiceCtrlDispatcherW(table) ? ERROR_SUCCESS : GetLastError();
    exitCode = g_service.exitCode;
    return error;
}

} // namespace bypassctl
