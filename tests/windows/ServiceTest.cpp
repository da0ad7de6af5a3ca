// bypassctl service against a scripted service manager: for each way it can
// answer, the exit code, what was said, and the last calls made, in order:
// the service's command line as the system's parser splits it, its states
// and its event log lines among them.
#include "commands/Service.h"
#include "cli/Cli.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <map>
#include <sstream>

namespace bypassctl {
namespace {

std::map<std::string, DWORD> g_errors; // call name -> last error of its failure
std::string g_calls;

bool Fails(const char* call, const std::string& note = "")
{
    g_calls += std::string(call) + note + "\n";
    const auto error = g_errors.find(call);
    if (error != g_errors.end())
        SetLastError(error->second);
    return error != g_errors.end();
}

std::string Text(LPCWSTR text) { return std::string(text, text + wcslen(text)); }

const auto kHandle = reinterpret_cast<SC_HANDLE>(0x10);

const ServiceApi kFake = {
    [](LPCWSTR, LPCWSTR, DWORD) { return Fails("OpenSCManager") ? nullptr : kHandle; },
    [](SC_HANDLE, LPCWSTR, LPCWSTR, DWORD, DWORD type, DWORD start, DWORD, LPCWSTR path, LPCWSTR,
        LPDWORD, LPCWSTR, LPCWSTR, LPCWSTR) {
        // the command line as the service's process will get it
        int count = 0;
        LPWSTR* argv = CommandLineToArgvW(path, &count);
        std::string note = " " + std::to_string(type) + " " + std::to_string(start);
        for (int i = 0; i < count; ++i)
            note += " [" + Text(argv[i]) + "]";
        LocalFree(argv);
        return Fails("CreateService", note) ? nullptr : kHandle;
    },
    [](SC_HANDLE, LPCWSTR, DWORD) { return Fails("OpenService") ? nullptr : kHandle; },
    [](SC_HANDLE, DWORD level, LPVOID) { return BOOL(!Fails("Config", std::to_string(level))); },
    [](SC_HANDLE, DWORD, LPSERVICE_STATUS) { return BOOL(!Fails("ControlService")); },
    [](SC_HANDLE, LPSERVICE_STATUS status) {
        status->dwCurrentState = SERVICE_STOPPED;
        return BOOL(!Fails("QueryServiceStatus"));
    },
    [](SC_HANDLE) { return BOOL(!Fails("DeleteService")); },
    [](SC_HANDLE) { return TRUE; },
    // the service's main runs at once, as the dispatcher's thread would run it
    [](const SERVICE_TABLE_ENTRYW* table) {
        return Fails("Dispatcher") ? FALSE : (table->lpServiceProc(0, nullptr), TRUE);
    },
    [](LPCWSTR, LPHANDLER_FUNCTION_EX, LPVOID) { return SERVICE_STATUS_HANDLE(kHandle); },
    [](SERVICE_STATUS_HANDLE, LPSERVICE_STATUS status) {
        char state[40];
        sprintf(state, " %lu %lu %lu", status->dwCurrentState, status->dwWin32ExitCode,
            status->dwServiceSpecificExitCode);
        return BOOL(!Fails("State", state));
    },
    [](HANDLE, WORD type, WORD, DWORD, PSID, WORD, DWORD, LPCWSTR* strings, LPVOID) {
        return BOOL(!Fails("Event", " " + std::to_string(type) + " " + Text(strings[0])));
    },
    [](HKEY, LPCWSTR, LPCWSTR value, DWORD, LPCVOID, DWORD) {
        return LSTATUS(Fails("RegSet", " " + Text(value)));
    },
    [](HKEY, LPCWSTR key) { return LSTATUS(Fails("RegDelete", " " + Text(key))); },
    [](HMODULE, LPWSTR path, DWORD) {
        return DWORD(wcslen(wcscpy(path, L"C:\\Program Files\\BypassTool\\bypassctl.exe")));
    },
    // the stop comes at keepalive's first wait unless the row holds it back
    [](HANDLE, DWORD ms) {
        return Fails("Wait", " " + std::to_string(ms)) ? DWORD(WAIT_TIMEOUT) : WAIT_OBJECT_0;
    },
};

TEST(Service, EachAnswerOfTheServiceManagerEndsAsItShould)
{
    struct Row {
        std::vector<std::string> args;
        std::map<std::string, DWORD> errors;
        int code;
        std::string says;
        std::string lastCalls;
    };
    const std::vector<std::string> install{"--simulate", "6", "service", "install", "--timeout",
        "30", "--status-file", "C:\\state dir\\", "--pidfile", "a\\\"b c"};
    const std::string created = "OpenSCManager\nCreateService 16 2 [C:\\Program "
                                "Files\\BypassTool\\bypassctl.exe] [service] [run] [--simulate] "
                                "[6] [--timeout] [30] [--status-file] [C:\\state dir\\] "
                                "[--pidfile] [a\\\"b c]\n";
    const std::string removed = "DeleteService\nRegDelete "
                                "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\"
                                "bypassctl-keepalive\n";
    const std::vector<std::string> remove{"service", "remove"};
    const std::vector<std::string> run{"service", "run", "--simulate", "6", "--timeout", "9"};
    const Row rows[] = {
        {install, {}, 0, "installed, starting at boot",
            created
                + "Config1\nConfig7\nConfig2\nConfig4\nRegSet EventMessageFile\nRegSet "
                  "TypesSupported\n"},
        {install, {{"OpenSCManager", 5}}, 3, "service install needs administrator rights",
            "OpenSCManager\n"},
        {install, {{"CreateService", 5}}, 3, "needs administrator rights", created},
        {install, {{"CreateService", 1073}}, 2, "bypassctl-keepalive is already installed",
            created},
        {remove, {}, 0, "stopped\nservice bypassctl-keepalive removed",
            "OpenSCManager\nOpenService\nControlService\nQueryServiceStatus\n" + removed},
        {remove, {{"ControlService", 1062}}, 0, "removed", "ControlService\n" + removed},
        {remove, {{"OpenService", 1060}}, 2, "bypassctl-keepalive is not installed",
            "OpenSCManager\nOpenService\n"},
        {run, {{"Dispatcher", 1063}}, 2, "started by the service manager, not from a console",
            "Dispatcher\n"},
        // stopped at the first wait: running once armed, stopping, stopped
        {run, {}, 0, "",
            "Dispatcher\nState 2 0 0\nEvent 4 watchdog armed: 9 s, expiry puts the ports into "
            "bypass; re-arming every 3 s\nState 4 0 0\nWait 3000\nState 3 0 0\nEvent 4 stopped on "
            "request: watchdog stopped\nState 1 0 0\n"},
        // keepalive's refusal reaches the event log and the service's exit code
        {{"service", "run", "--simulate", "6", "--timeout", "9", "--interval", "9"}, {}, 2, "",
            "Dispatcher\nState 2 0 0\nEvent 1 bypassctl: interval 9 s must be at least 1 s and "
            "shorter than the timeout of 9 s\nState 1 1066 2\n"},
        // the check fails until the watchdog expires: no failure to restart the service for
        {{"service", "run", "--simulate", "6", "--timeout", "4", "--interval", "2", "--pidfile",
             "Z:\\no.pid"},
            {{"Wait", WAIT_TIMEOUT}}, 7, "",
            "Event 1 bypassctl: the watchdog expired: the health checks failed\nState 1 0 7\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(&row - rows);
        g_errors = row.errors;
        g_calls.clear();
        const bypass::ScopedCalls<ServiceApi> fake(kFake);
        std::ostringstream out, err;
        Console console{out, err, nullptr, ProcessStopSignal(), ProcessSupervisor(), ""};
        EXPECT_EQ(RunBypassctl(row.args, console), row.code);
        EXPECT_NE((out.str() + err.str()).find(row.says), std::string::npos) << err.str();
        EXPECT_EQ(g_calls.substr(g_calls.size() - std::min(g_calls.size(), row.lastCalls.size())),
            row.lastCalls);
    }
}

} // namespace
} // namespace bypassctl
