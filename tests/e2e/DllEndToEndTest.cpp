// The shipped DLL, loaded by a program that knows only its three exported
// headers, driving the simulated PortTalk driver through real device I/O
// control requests. The driver keeps its own record of what reached it,
// which the tests fetch through its control device and compare.
#include "framework/BypassToolManager.h"

#include "SimControl.h"
#include "support/TraceFiles.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace bypass::test; // the board trace files

HANDLE OpenDevice(const char* name = "\\\\.\\PortTalk")
{
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL, nullptr);
}

// One request on device: whether it was done, the byte count, the error.
struct Answer {
    BOOL done;
    DWORD returned, error;
};

Answer Send(HANDLE device, DWORD code, void* buffer, DWORD in, DWORD out)
{
    Answer answer{FALSE, 0, 0};
    answer.done = DeviceIoControl(
        device, code, buffer, in, out ? buffer : nullptr, out, &answer.returned, nullptr);
    answer.error = answer.done ? 0 : GetLastError();
    return answer;
}

// A trace entry in the recording backend's text form: "out8 4E 87",
// "in8 4F -> 03", "open", "close"; one per line.
std::string Formatted(const SimTraceEntry& entry)
{
    if (entry.event == SIM_EVENT_OPEN)
        return "open\n";
    if (entry.event == SIM_EVENT_CLOSE)
        return "close\n";
    char line[48];
    std::snprintf(line, sizeof line,
        entry.event == SIM_EVENT_READ ? "in%u %X -> %0*lX\n" : "out%u %X %0*lX\n", entry.width,
        entry.port, entry.width / 4, entry.value);
    return line;
}

// The simulated driver's control device.
class SimDriver {
public:
    bool IsLoaded() const { return m_device != INVALID_HANDLE_VALUE; }
    void Reset() { Control(SIM_RESET, nullptr, 0, 0); }
    void ScriptReads(std::vector<SimScriptedRead> reads)
    {
        Control(SIM_SCRIPT_READS, reads.data(), DWORD(reads.size() * sizeof reads[0]), 0);
    }
    SimCounts Counts()
    {
        SimCounts counts = {};
        Control(SIM_FETCH_COUNTS, &counts, 0, sizeof counts);
        return counts;
    }
    std::string Trace()
    {
        std::vector<SimTraceEntry> entries(SIM_TRACE_CAPACITY);
        const DWORD size
            = Control(SIM_FETCH_TRACE, entries.data(), 0, entries.size() * sizeof entries[0]);
        std::string lines;
        for (DWORD i = 0; i < size / sizeof entries[0]; ++i)
            lines += Formatted(entries[i]);
        return lines;
    }
    ~SimDriver() { CloseHandle(m_device); }

private:
    DWORD Control(DWORD code, void* buffer, DWORD in, DWORD out)
    {
        const Answer answer = Send(m_device, code, buffer, in, out);
        EXPECT_TRUE(answer.done) << "control request " << std::hex << code;
        return answer.returned;
    }

    HANDLE m_device = OpenDevice("\\\\.\\PortTalkSim");
};

class DllEndToEnd : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.IsLoaded()) << "the PortTalk driver is not running";
        sim.Reset();
    }

    void TearDown() override { AwaitAllClosed(); }

    // Wine hands the driver the close of a device handle after CloseHandle
    // has returned (an open, in contrast, completes before CreateFile does):
    // wait for it, so that it does not land in a later conversation.
    void AwaitAllClosed()
    {
        for (int i = 0; i < 200 && sim.Counts().openNow > 0; ++i)
            Sleep(10);
        EXPECT_EQ(sim.Counts().openNow, 0u) << "a device handle was never closed";
    }

    SimDriver sim;
};

// The port traffic of a trace file as the driver sees it: the pauses are
// the DLL's own and never reach the driver, so only port accesses, opens
// and closes are compared. The answers of its reads go to reads, in order.
std::string DriverView(const TraceFile& file, std::vector<SimScriptedRead>& reads, int& result)
{
    std::string lines;
    for (const std::string& line : ParseTrace(ReadText(file.path))) {
        unsigned width = 0;
        unsigned long port = 0, value = 0;
        if (line.rfind("sleep ", 0) == 0 || std::sscanf(line.c_str(), "result %d", &result) == 1)
            continue;
        if (std::sscanf(line.c_str(), "in%u %lx -> %lx", &width, &port, &value) == 3)
            reads.push_back({port, value});
        lines += (line == "open -> 0" ? "open" : line) + "\n";
    }
    return lines;
}

// Every file but those of a missing driver (here the driver is loaded, and
// its absence is first use's scenario) and the chip readbacks, which are
// bypassctl's own code, not the DLL's.
std::vector<TraceFile> ReplayedFiles()
{
    std::vector<TraceFile> files;
    for (const TraceFile& file : AllTraceFiles(BYPASS_TRACE_DIR))
        if (ReadText(file.path).find("open -> -1") == std::string::npos
            && file.steps.back().rfind("readback", 0) != 0)
            files.push_back(file);
    return files;
}

class TraceReplay : public DllEndToEnd, public testing::WithParamInterface<TraceFile> { };

// The same files the recording backend's runner reads, played through the
// manager, the DLL and the driver.
TEST_P(TraceReplay, DriverSeesThePortTrafficOfTheFile)
{
    const TraceFile& file = GetParam();
    std::vector<SimScriptedRead> reads;
    int result = 0, answered = 0;
    const std::string expected = DriverView(file, reads, result);
    // Creating a tool runs its init: a file that starts elsewhere is what
    // follows the init, whose own traffic is not part of it.
    const bool startsWithInit = file.steps.front() == "init";
    CBypassToolManager manager;
    if (!startsWithInit)
        manager.CreateBypassTool(file.type);
    sim.Reset();
    sim.ScriptReads(reads);
    if (startsWithInit)
        manager.CreateBypassTool(file.type);
    ASSERT_EQ(manager.GetBypassTool()->GetBypassType(), file.type);
    for (std::size_t step = startsWithInit; step < file.steps.size(); ++step)
        answered = OperationNamed(file.steps[step])(*manager.GetBypassTool());
    if (expected.find("close") != std::string::npos)
        AwaitAllClosed();
    EXPECT_EQ(sim.Trace(), expected);
    if (file.steps.size() > std::size_t(startsWithInit)) {
        EXPECT_EQ(answered, result);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, TraceReplay, testing::ValuesIn(ReplayedFiles()));

// Wine 8 dispatches the close of a device handle asynchronously, on another
// winedevice thread and after CloseHandle has returned: the driver can vouch
// for the pairing and the counts, not for the order, which the recording
// backend's tests see.
TEST_F(DllEndToEnd, ManagerClosesEveryDeviceHandleItOpens)
{
    {
        CBypassToolManager manager;
        manager.CreateBypassTool(4);
        manager.CreateBypassTool(7);
        manager.DestroyBypassTool();
        manager.DestroyBypassTool();
    }
    AwaitAllClosed();
    EXPECT_EQ(sim.Counts().opens, 2u);
    EXPECT_EQ(sim.Counts().closes, 2u);
}

// The configuration address a client writes to 0xCF8 stays with its handle:
// two clients that select different registers before either reads 0xCFC
// each read their own register's value.
TEST_F(DllEndToEnd, EachHandleReadsTheConfigurationRegisterItSelected)
{
    HANDLE first = OpenDevice(), second = OpenDevice();
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    sim.Reset();
    unsigned char selectClass[16] = {0xF8, 0x0C, 0, 0, 0x08, 0xFB, 0x00, 0x80};
    unsigned char selectBase[16] = {0xF8, 0x0C, 0, 0, 0x20, 0xFB, 0x00, 0x80};
    unsigned char readFirst[16] = {0xFC, 0x0C}, readSecond[16] = {0xFC, 0x0C};
    EXPECT_TRUE(Send(first, 0x9C40241C, selectClass, 16, 0).done);
    EXPECT_TRUE(Send(second, 0x9C40241C, selectBase, 16, 0).done);
    EXPECT_EQ(Send(first, 0x9C402418, readFirst, 16, 16).returned, 4u);
    EXPECT_EQ(Send(second, 0x9C402418, readSecond, 16, 16).returned, 4u);
    EXPECT_EQ(readFirst[3] << 8 | readFirst[2], 0x0C05);
    EXPECT_EQ(readSecond[1] << 8 | readSecond[0], 0xF001);
    CloseHandle(first);
    CloseHandle(second);
    AwaitAllClosed();
    EXPECT_EQ(sim.Trace(),
        "out32 CF8 8000FB08\nin32 CFC -> 0C050000\nout32 CF8 8000FB20\nin32 CFC -> 0000F001\n"
        "close\nclose\n");
}

// bypassctl.exe beside this host, run with args: its exit code and standard
// output. The output goes through a file, not a pipe: Wine may start its
// desktop process (explorer.exe) from bypassctl, which then keeps bypassctl's
// handles, and a pipe that never reaches its end.
std::pair<int, std::string> Bypassctl(const std::string& args)
{
    const std::string out = std::string(std::getenv("TEMP")) + "\\bypassctl-e2e.out";
    const int code = std::system(("bypassctl.exe >" + out + " " + args).c_str());
    std::ifstream file(out, std::ios::binary);
    return {code, std::string(std::istreambuf_iterator<char>(file), {})};
}

// What keepalive last recorded of its arming: when (ms of the system's tick
// count) and for how long the hardware counts.
struct LastArming {
    unsigned long long atMs = 0, hardwareMs = 0;
};

const std::string g_data = std::getenv("ProgramData");
const std::string g_count = g_data + "\\bypassctl-keepalive.count";
const std::string g_pidFile = g_data + "\\host.pid";

// keepalive's process, killed as a crash would kill it once it has armed
// and re-armed over this host's pid file; the handle is closed.
LastArming KilledAfterARearm(HANDLE process)
{
    for (int i = 0; i < 600 && !std::ifstream(g_count); ++i)
        Sleep(100);
    Sleep(1500); // a re-arm, recorded in the count file
    EXPECT_TRUE(TerminateProcess(process, 9)) << "error " << GetLastError();
    EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
    CloseHandle(process);
    LastArming last;
    std::ifstream(g_count) >> last.atMs >> last.hardwareMs;
    return last;
}

// The expiry, sinceArmedMs after the last arming: not before the count ran
// out (10 s), and no later than one interval (1 s) + 1 s after that.
void ExpectExpiryWithinOneInterval(const LastArming& last, unsigned long long sinceArmedMs)
{
    EXPECT_EQ(last.hardwareMs, 10000u);
    EXPECT_GE(sinceArmedMs, last.hardwareMs);
    EXPECT_LE(sinceArmedMs, last.hardwareMs + 1000 + 1000);
}

// keepalive killed after it armed, and started again over a failing check,
// as a service manager restarts it: the board keeps counting in the
// driver's world, so the second must not arm again (no write of the counter
// register 0xF6) and ends in the expiry (exit 7) no later than what the
// hardware counts + one interval + 1 s after the first one's last arming.
TEST_F(DllEndToEnd, KeepaliveStartedAgainOverAFailingCheckLeavesTheCountRunning)
{
    const std::string keepalive
        = "--type 6 keepalive --timeout 10 --interval 1 --pidfile " + g_pidFile;
    std::string line = "bypassctl.exe " + keepalive;
    std::remove(g_count.c_str());
    std::ofstream(g_pidFile) << GetCurrentProcessId() << '\n';
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION first{};
    ASSERT_TRUE(CreateProcessA(
        nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &first));
    CloseHandle(first.hThread);
    const LastArming last = KilledAfterARearm(first.hProcess);
    EXPECT_NE(sim.Trace().find("out8 4E F6"), std::string::npos) << "the first did not arm";
    AwaitAllClosed();
    sim.Reset();
    std::remove(g_pidFile.c_str());
    const auto second = Bypassctl(keepalive + " 2>&1");
    ExpectExpiryWithinOneInterval(last, GetTickCount64() - last.atMs);
    EXPECT_EQ(second.first, 7) << second.second;
    EXPECT_EQ(sim.Trace().find("out8 4E F6"), std::string::npos) << second.second;
}

// The service's status once it has stopped, or after 60 s.
SERVICE_STATUS Stopped(SC_HANDLE service)
{
    SERVICE_STATUS status{};
    for (int i = 0; i < 600 && QueryServiceStatus(service, &status)
         && status.dwCurrentState != SERVICE_STOPPED;
         ++i)
        Sleep(100);
    return status;
}

// The same with the Windows service, whose process is killed and which is
// started again, as the service manager's failure actions do. Wine's
// service manager has none and misses the kill (the service still shows
// running), but starts the service again when asked: the restarted
// service must not arm again either, and stops with the expiry within the
// same bound.
TEST_F(DllEndToEnd, ServiceRestartedOverAFailingCheckLeavesTheCountRunning)
{
    std::remove(g_count.c_str());
    std::ofstream(g_pidFile) << GetCurrentProcessId() << '\n';
    Bypassctl("service remove 2>&1");
    const auto install = Bypassctl(
        "service install --type 6 --timeout 10 --interval 1 --pidfile " + g_pidFile + " 2>&1");
    ASSERT_EQ(install.first, 0) << install.second;
    const SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    const SC_HANDLE service
        = OpenServiceA(manager, "bypassctl-keepalive", SERVICE_START | SERVICE_QUERY_STATUS);
    SERVICE_STATUS_PROCESS started{};
    DWORD size = 0;
    EXPECT_TRUE(StartServiceA(service, 0, nullptr));
    EXPECT_TRUE(QueryServiceStatusEx(
        service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&started), sizeof started, &size));
    const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, started.dwProcessId);
    ASSERT_NE(process, nullptr) << "service process " << started.dwProcessId << ", error "
                                << GetLastError();
    const LastArming last = KilledAfterARearm(process);
    EXPECT_NE(sim.Trace().find("out8 4E F6"), std::string::npos) << "the service did not arm";
    AwaitAllClosed();
    sim.Reset();
    std::remove(g_pidFile.c_str());
    EXPECT_TRUE(StartServiceA(service, 0, nullptr));
    const SERVICE_STATUS stopped = Stopped(service);
    ExpectExpiryWithinOneInterval(last, GetTickCount64() - last.atMs);
    EXPECT_EQ(stopped.dwServiceSpecificExitCode, 7u);
    EXPECT_EQ(sim.Trace().find("out8 4E F6"), std::string::npos);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    Bypassctl("service remove 2>&1");
}

// bypassctl against the driver: while this host holds the board's mutex, as
// a bypassctl at work would, it waits, names the holder and touches nothing.
// Then the library finds the SMBus controller at 0xE000, where the driver,
// which learned its window at 0xF000 when it started, refuses every access;
// the library goes on as if they had happened, and bypassctl counts them.
TEST_F(DllEndToEnd, BypassctlNamesTheLockHolderAndCountsTheAccessesTheDriverRefused)
{
    const HANDLE board = CreateMutexA(nullptr, TRUE, "Global\\bypassctl-board");
    const std::string holder = std::to_string(GetCurrentProcessId());
    std::ofstream(std::string(std::getenv("ProgramData")) + "\\bypassctl.lock") << holder << '\n';
    const auto busy = Bypassctl("--type 6 bypass on 2>&1");
    CloseHandle(board);
    EXPECT_EQ(busy.first, 6);
    EXPECT_NE(
        busy.second.find("process " + holder + " holds the bypassctl lock"), std::string::npos);
    EXPECT_EQ(sim.Trace(), "");
    sim.ScriptReads({{0xCFC, 0x0C050000}, {0xCFC, 0xE001}, {0xCFC, 0x0C050000}, {0xCFC, 0xE001}});
    const auto text = Bypassctl("--type 5003 bypass on 2>&1");
    const auto json = Bypassctl("--type 5003 bypass on --json 2>NUL");
    EXPECT_EQ(text.first, 3);
    EXPECT_NE(text.second.find("27 port accesses failed during EnableBypass"), std::string::npos);
    EXPECT_EQ(json.first, 3);
    EXPECT_EQ(nlohmann::json::parse(json.second)["failed_port_accesses"], 27) << json.second;
}

} // namespace
