// bypassctl service against a scripted service manager: for each way it can
// answer, the exit code, what was said, and the calls made in order (the
// service's command line, its states and its event log lines among them).
#include "Cli.h"
#include "WindowsService.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <map>
#include <regex>
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

std::string Text(LPCWSTR text)
{
    std::string narrow;
    for (; *text; ++text)
        narrow += char(*text);
    return narrow;
}

const auto kHandle = reinterpret_cast<SC_HANDLE>(0x10);

const ServiceApi kFake = {
    [](LPCWSTR, LPCWSTR, DWORD) { return Fails("OpenSCManager") ? nullptr : kHandle; },
    [](SC_HANDLE, LPCWSTR, LPCWSTR, DWORD, DWORD type, DWORD start, DWORD, LPCWSTR path, LPCWSTR,
        LPDWORD, LPCWSTR, LPCWSTR, LPCWSTR) {
        const std::string note = " " + std::to_string(type) + " " + std::to_string(start);
        return Fails("CreateService", note + " " + Text(path)) ? nullptr : kHandle;
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
    [](const SERVICE_TABLE_ENTRYW* table) {
        if (Fails("Dispatcher"))
            return FALSE;
        table->lpServiceProc(0, nullptr);
        return TRUE;
    },
    [](LPCWSTR, LPHANDLER_FUNCTION_EX, LPVOID) {
        return reinterpret_cast<SERVICE_STATUS_HANDLE>(0x20);
    },
    [](SERVICE_STATUS_HANDLE, LPSERVICE_STATUS status) {
        Fails("State",
            " " + std::to_string(status->dwCurrentState) + " "
                + std::to_string(status->dwWin32ExitCode) + " "
                + std::to_string(status->dwServiceSpecificExitCode));
        return TRUE;
    },
    [](LPCWSTR, LPCWSTR) { return HANDLE(0x30); },
    [](HANDLE, WORD type, WORD, DWORD, PSID, WORD, DWORD, LPCWSTR* strings, LPVOID) {
        Fails("Event", " " + std::to_string(type) + " " + Text(strings[0]));
        return TRUE;
    },
    [](HANDLE) { return TRUE; },
    [](HKEY, LPCWSTR, LPCWSTR value, DWORD, LPCVOID, DWORD) {
        return LSTATUS(Fails("RegSet", " " + Text(value)) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS);
    },
    [](HKEY, LPCWSTR key) { return LSTATUS(Fails("RegDelete", " " + Text(key)) ? 2 : 0); },
    [](HMODULE, LPWSTR path, DWORD) {
        return DWORD(wcslen(wcscpy(path, L"C:\\Program Files\\BypassTool\\bypassctl.exe")));
    },
    [](LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCWSTR) { return HANDLE(0x40); },
    [](HANDLE) { return TRUE; },
    // the stop comes at keepalive's first wait unless the row holds it back
    [](HANDLE, DWORD ms) {
        return Fails("Wait", " " + std::to_string(ms)) ? DWORD(WAIT_TIMEOUT) : WAIT_OBJECT_0;
    },
    [](HANDLE) { return TRUE; },
    [](DWORD) {},
};

class StopUnused : public StopSignal {
    void Listen() override { }
    bool WaitFor(unsigned) override { return true; }
};

TEST(Service, EachAnswerOfTheServiceManagerEndsAsItShould)
{
    struct Row {
        std::vector<std::string> args;
        std::map<std::string, DWORD> errors;
        int code;
        std::string says;
        std::string calls; // empty: no call at all
    };
    const std::vector<std::string> install{
        "--simulate", "6", "service", "install", "--timeout", "30"};
    const std::string created = "OpenSCManager\nCreateService 16 2 \"C:\\Program "
                                "Files\\BypassTool\\bypassctl.exe\" service run --simulate 6 "
                                "--timeout 30\n";
    const std::string removed = "DeleteService\nRegDelete "
                                "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\"
                                "bypassctl-keepalive\n";
    const std::vector<std::string> remove{"service", "remove"};
    const Row rows[] = {
        {install, {}, 0, "installed, starting at boot",
            created
                + "Config1\nConfig7\nConfig2\nConfig4\nRegSet EventMessageFile\nRegSet "
                  "TypesSupported\n"},
        {{"service", "install", "--timeout", "030"}, {}, 2, "'030' is not a decimal number", ""},
        {install, {{"OpenSCManager", 5}}, 3, "service install needs administrator rights",
            "OpenSCManager\n"},
        {install, {{"CreateService", 5}}, 3, "needs administrator rights", created},
        {install, {{"CreateService", 1073}}, 2, "bypassctl-keepalive is already installed",
            created},
        {remove, {}, 0, "stopped\nservice bypassctl-keepalive removed",
            "OpenSCManager\nOpenService\nControlService\nQueryServiceStatus\n" + removed},
        {remove, {{"ControlService", 1062}}, 0, "removed",
            "OpenSCManager\nOpenService\nControlService\n" + removed},
        {remove, {{"OpenService", 1060}}, 2, "bypassctl-keepalive is not installed",
            "OpenSCManager\nOpenService\n"},
        {remove, {{"OpenSCManager", 5}}, 3, "service remove needs administrator rights",
            "OpenSCManager\n"},
        {{"service", "run", "--timeout", "5"}, {{"Dispatcher", 1063}}, 2,
            "started by the service manager, not from a console", "Dispatcher\n"},
        // keepalive's refusal reaches the event log and the service's exit code.
        {{"service", "run", "--simulate", "6", "--timeout", "9", "--interval", "9"}, {}, 2, "",
            "Dispatcher\nState 2 0 0\nEvent 1 bypassctl: interval 9 s must be at least 1 s and "
            "shorter than the timeout of 9 s\nState 1 1066 2\n"},
        // stopped at the first wait: armed, then disarmed
        {{"service", "run", "--simulate", "6", "--timeout", "9"}, {}, 0, "",
            "Dispatcher\nState 2 0 0\nEvent 4 watchdog armed: 9 s, expiry puts the ports into "
            "bypass; re-arming every 3 s\nState 4 0 0\nWait 3000\nState 3 0 0\nEvent 4 stopped on "
            "request: watchdog stopped\nState 1 0 0\n"},
        // the health check fails: the watchdog expires, and the service ends without a
        // failure the service manager would restart it for
        {{"service", "run", "--simulate", "6", "--timeout", "4", "--interval", "2", "--pidfile",
             "Z:\\no\\such.pid"},
            {{"Wait", WAIT_TIMEOUT}}, 7, "",
            "Dispatcher\nState 2 0 0\nEvent 4 watchdog armed: 4 s, expiry puts the ports into "
            "bypass; re-arming every 2 s while these pass, each within 1 s: pid file "
            "Z:\\no\\such.pid\nState 4 0 0\nWait 2000\nEvent 2 pid file Z:\\no\\such.pid failed: "
            "pid file Z:\\no\\such.pid is missing\nEvent 1 re-arming stopped after 1 failed round: "
            "the watchdog expires at T, expiry puts the ports into bypass\nWait 2000\nEvent 1 the "
            "watchdog expired at T: expiry puts the ports into bypass\nEvent 1 bypassctl: the "
            "watchdog expired: the health checks failed\nState 1 0 7\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(&row - rows);
        g_errors = row.errors;
        g_calls.clear();
        const ServiceApi* real = SetServiceApi(&kFake);
        std::ostringstream out, err;
        StopUnused stop;
        Console console{out, err, nullptr, stop, ProcessSupervisor(), ""};
        EXPECT_EQ(RunBypassctl(row.args, console), row.code);
        SetServiceApi(real);
        EXPECT_NE((out.str() + err.str()).find(row.says), std::string::npos)
            << out.str() << err.str();
        const std::regex utcTime("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ");
        EXPECT_EQ(std::regex_replace(g_calls, utcTime, "T"), row.calls);
    }
}

// Each argument comes back whole from the system's own parser.
TEST(Service, ArgumentsSurviveTheCommandLineParser)
{
    const std::wstring arguments[] = {L"--timeout", L"", L"C:\\Program Files\\x",
        L"C:\\status dir\\", L"say \"hi\"", L"a\\\\\"b c", L"a\\b", L"tab\there"};
    for (const std::wstring& argument : arguments) {
        int count = 0;
        const std::wstring line
            = L"\"C:\\x y\\bypassctl.exe\" " + QuoteArgument(argument) + L" end";
        LPWSTR* argv = CommandLineToArgvW(line.c_str(), &count);
        ASSERT_EQ(count, 3) << Text(line.c_str());
        EXPECT_EQ(std::wstring(argv[1]), argument) << Text(line.c_str());
        EXPECT_EQ(std::wstring(argv[2]), L"end");
        LocalFree(argv);
    }
}

} // namespace
} // namespace bypassctl
