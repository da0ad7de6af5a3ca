// bypassctl service against a scripted service manager: for each way it can
// answer, the exit code, what was said, and the last calls made, in order:
// the service's command line as the system's parser splits it, its states
// and its event log lines among them.
#include "commands/Service.h"
#include "cli/Cli.h"

#include <gtest/gtest.h>
#include <sddl.h>
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

// Access lists by path (as SDDL); any other path has Program Files'.
std::map<std::wstring, std::wstring> g_acls;
const wchar_t kTrustedInstaller[]
    = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
const std::wstring kProgramFilesAcl = std::wstring(L"O:") + kTrustedInstaller + L"D:(A;;FA;;;"
    + kTrustedInstaller + L")(A;OICIIO;GA;;;" + kTrustedInstaller
    + L")(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)(A;;0x1200a9;;;"
      L"BU)(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)";
std::vector<std::wstring> g_dlls; // beside the program
std::size_t g_nextDll = 0;

bool NextDll(LPWIN32_FIND_DATAW found)
{
    if (g_nextDll >= g_dlls.size())
        return false;
    wcscpy(found->cFileName, g_dlls[g_nextDll++].c_str());
    return true;
}

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
    [](LPCWSTR path, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID* owner, PSID*, PACL* dacl, PACL*,
        PSECURITY_DESCRIPTOR* descriptor) {
        const auto acl = g_acls.find(path);
        ConvertStringSecurityDescriptorToSecurityDescriptorW(
            (acl == g_acls.end() ? kProgramFilesAcl : acl->second).c_str(), SDDL_REVISION_1,
            descriptor, nullptr);
        BOOL present = FALSE, defaulted = FALSE;
        GetSecurityDescriptorOwner(*descriptor, owner, &defaulted);
        GetSecurityDescriptorDacl(*descriptor, &present, dacl, &defaulted);
        return DWORD(ERROR_SUCCESS);
    },
    [](LPCWSTR, LPWIN32_FIND_DATAW found) {
        g_nextDll = 0;
        return NextDll(found) ? HANDLE(kHandle) : INVALID_HANDLE_VALUE;
    },
    [](HANDLE, LPWIN32_FIND_DATAW found) { return BOOL(NextDll(found)); },
    [](HANDLE) { return TRUE; },
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
            "shorter than the timeout of 9 s\nState 1 0 2\n"},
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

// The service runs as LocalSystem: a folder, program or DLL that others can
// change is refused before the service manager is asked.
TEST(Service, InstallRefusesAProgramOthersCanChange)
{
    const std::wstring folder = L"C:\\Program Files\\BypassTool";
    const std::wstring program = folder + L"\\bypassctl.exe", dll = folder + L"\\BypassTool.dll";
    struct Row {
        std::wstring path;
        std::wstring acl;
        const char* says;
    };
    const Row rows[] = {
        // what a folder of its own under C:\ inherits
        {folder, L"O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIID;0x1301bf;;;AU)",
            "BypassTool: S-1-5-11 can change it"},
        {program, kProgramFilesAcl + L"(A;;0x116;;;BU)",
            "bypassctl.exe: S-1-5-32-545 can change it"},
        {dll, L"O:SYD:(A;;FA;;;SY)(A;;0x2;;;WD)", "BypassTool.dll: S-1-1-0 can change it"},
        {program, L"O:S-1-5-21-1-2-3-1001D:(A;;FA;;;SY)", "its owner S-1-5-21-1-2-3-1001"},
        {dll, L"O:SYD:(A;;FA;;;SY)(A;;GW;;;BU)", "BypassTool.dll: S-1-5-32-545 can change it"},
    };
    g_dlls = {L"BypassTool.dll"};
    for (const Row& row : rows) {
        SCOPED_TRACE(&row - rows);
        g_acls = {{row.path, row.acl}};
        g_errors.clear();
        g_calls.clear();
        std::ostringstream out, err;
        {
            const bypass::ScopedCalls<ServiceApi> fake(kFake);
            Console console{out, err, nullptr, ProcessStopSignal(), ProcessSupervisor(), ""};
            EXPECT_EQ(
                RunBypassctl({"--simulate", "6", "service", "install", "--timeout", "30"}, console),
                2);
        }
        EXPECT_NE(err.str().find(row.says), std::string::npos) << err.str();
        EXPECT_NE(err.str().find("under Program Files"), std::string::npos);
        EXPECT_EQ(g_calls, "");
    }
    g_acls.clear();
    g_dlls.clear();
}

} // namespace
} // namespace bypassctl
