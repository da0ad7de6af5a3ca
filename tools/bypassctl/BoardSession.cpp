#include "BoardSession.h"

#include "framework/ToolFactory.h"

#include <chrono>
#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#else
#include <cerrno>
#include <sys/io.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace bypassctl {
namespace {

#if defined(_WIN32)
std::string NoPortAccess()
{
    return "no port access: the PortTalk driver could not be opened (put PortTalk.sys beside "
           "bypassctl.exe and run as administrator, or use --simulate)";
}

int DuplicateFd(int fd) { return _dup(fd); }
void RedirectFd(int from, int to) { _dup2(from, to); }
void CloseFd(int fd) { _close(fd); }
#else
// A kernel built without the iopl emulation answers ENOSYS to everyone,
// root included; lowering the level to 0 asks nothing of the privileges.
std::string NoPortAccess()
{
    if (iopl(0) != 0 && errno == ENOSYS)
        return "no port access: the kernel offers no port I/O (iopl is not available; use "
               "--simulate)";
    return "no port access: port I/O needs root or CAP_SYS_RAWIO (or use --simulate)";
}

int DuplicateFd(int fd) { return dup(fd); }
void RedirectFd(int from, int to) { dup2(from, to); }
void CloseFd(int fd) { close(fd); }

// Kernel watchdog drivers that own the Super I/O watchdogs of these boards.
const char* const kWatchdogModules[] = {"w83627hf_wdt", "it87_wdt"};
#endif

// With --json, standard output carries the one object alone: what the
// library prints while it runs (driver messages, a probe's result) goes to
// standard error. The library writes through the C runtime, so its file
// descriptor 1 points at standard error for the call.
class LibraryOutputToStderr {
public:
    explicit LibraryOutputToStderr(bool json)
    {
        if (!json)
            return;
        std::fflush(stdout);
        m_saved = DuplicateFd(1);
        if (m_saved >= 0)
            RedirectFd(2, 1);
    }
    ~LibraryOutputToStderr()
    {
        if (m_saved < 0)
            return;
        std::fflush(stdout);
        RedirectFd(m_saved, 1);
        CloseFd(m_saved);
    }
    LibraryOutputToStderr(const LibraryOutputToStderr&) = delete;
    LibraryOutputToStderr& operator=(const LibraryOutputToStderr&) = delete;

private:
    int m_saved = -1;
};

// Released on every path out of the board operation.
class HeldLock {
public:
    explicit HeldLock(BoardLock& lock)
        : m_lock(lock)
    {
    }
    ~HeldLock() { m_lock.Release(); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

private:
    BoardLock& m_lock;
};

bypass::PortBackend* PortsOf(Board& board)
{
    return board.simulator ? &board.simulator->Ports() : &bypass::PlatformPortBackend();
}

std::string BusyText(long holder, const std::string& path)
{
    const std::string who
        = holder > 0 ? "process " + std::to_string(holder) : std::string("another process");
    return "the board is busy: " + who + " holds the bypassctl lock (" + path
        + "); try again when it is done";
}

} // namespace

void CheckResult(int result, const char* operation)
{
    if (result < 0)
        throw CommandError{kExitBoardFailed,
            std::string("the board answered ") + std::to_string(result) + " to " + operation};
}

#if defined(_WIN32)
void WarnAboutKernelWatchdogs(Context&) { }
#else
void WarnAboutKernelWatchdogs(Context& context)
{
    Json loaded = Json::array();
    for (const char* module : kWatchdogModules) {
        struct stat info;
        const std::string path = context.console.moduleDir + "/" + module;
        if (stat(path.c_str(), &info) != 0)
            continue;
        loaded.push_back(module);
        context.report.Warn(std::string("kernel module ") + module
            + " is loaded and owns the same watchdog chip; unload it (rmmod " + module
            + ") before driving the watchdog from here");
    }
    context.report.Set("kernel_watchdog_modules", loaded);
}
#endif

BoardSession::BoardSession(Context& context)
    : m_context(context)
    , m_board(ChooseBoard(context.options))
    , m_type(ResolveType(m_board))
    , m_ports(PortsOf(m_board))
    , m_failedBefore(m_ports.FailedAccesses())
    , m_lock(m_board.simulator != nullptr || !context.options.appliance.empty()
          || std::getenv("BYPASSTOOL_APPLIANCE"))
{
    const char* tool = bypass::BypassToolClassName(m_type);
    Report& report = m_context.report;
    report.Set("type", m_type);
    report.Set("tool", tool);
    report.Set("simulated", m_board.simulator != nullptr);
    report.Say("board: type " + std::to_string(m_type) + ", " + Description(m_type) + ", " + tool
        + (m_board.simulator ? " (simulated)" : ""));
}

// Runs while a CommandError unwinds too, so nothing here may throw: when
// the lock stays busy, fini runs without it rather than leave the driver
// open.
BoardSession::~BoardSession()
{
    if (!m_tool)
        return;
    const long holder = m_lock.Acquire();
    if (holder != 0)
        m_context.report.Warn(BusyText(holder, m_lock.Path()) + "; finishing without the lock");
    {
        HeldLock held(m_lock);
        LibraryOutputToStderr quiet(m_context.options.json);
        m_tool->fini();
    }
    m_tool.reset();
    bypass::SetPortBackend(m_previous);
    m_context.report.CountFailedAccesses(FailedAccesses());
}

CBypassTool& BoardSession::Tool()
{
    if (!m_tool) {
        if (m_context.options.trace)
            m_ports.EchoTo(m_context.console.trace);
        m_previous = bypass::SetPortBackend(&m_ports);
        m_tool.reset(bypass::MakeBypassTool(m_type));
    }
    return *m_tool;
}

void BoardSession::RequireWatchdog()
{
    if (!Tool().IsSupportWDT())
        throw CommandError{kExitUnsupported,
            "board type " + std::to_string(m_type) + " has no watchdog this tool drives"};
    // Only a real machine has kernel drivers in the way.
    if (!m_board.simulator)
        WarnAboutKernelWatchdogs(m_context);
    if (const long keepalive = m_lock.RunningKeepalive()) {
        m_context.report.Set("keepalive_pid", keepalive);
        m_context.report.Warn("bypassctl keepalive (process " + std::to_string(keepalive)
            + ") is driving this watchdog and will re-arm it at its next interval");
    }
}

void BoardSession::AdvertiseKeepalive()
{
    const long pid = m_lock.AdvertiseKeepalive();
    m_context.report.Set("pid", pid);
    m_context.report.Say("keepalive: process " + std::to_string(pid)
        + "; other bypassctl watchdog commands warn that it re-arms");
}

// The null tool needs no driver.
void BoardSession::Start()
{
    CBypassTool& tool = Tool();
    m_started = true;
    OnBoard([&tool] { return tool.init(); });
    RequirePorts();
}

void BoardSession::RequirePorts()
{
    if (m_tool->GetBypassType() != 0 && !m_ports.IsOpen())
        throw CommandError{kExitNoPortAccess, NoPortAccess()};
}

int BoardSession::Look(const std::function<int()>& call)
{
    if (!m_started) {
        Tool();
        m_started = true;
        OnBoard(OpenPortDriver);
        RequirePorts();
    }
    return OnBoard(call);
}

int BoardSession::Call(const BoardOperation& operation)
{
    if (!m_started)
        Start();
    return OnBoard([this, &operation] { return operation.call(*m_tool); });
}

void BoardSession::Run(const BoardOperation& operation)
{
    const int result = Call(operation);
    m_context.report.Set("result", result);
    // A failed operation still shows what it left the simulated hardware in.
    if (result < 0 || FailedAccesses() != 0)
        ReportState();
    RequireAllAccessesDone(operation.name);
    CheckResult(result, operation.name);
}

unsigned long BoardSession::FailedAccesses() const
{
    return m_ports.FailedAccesses() - m_failedBefore;
}

// The library goes on through a refused access as if it had happened, so
// its result says nothing about it: the count does.
void BoardSession::RequireAllAccessesDone(const char* operation)
{
    const unsigned long failed = FailedAccesses();
    if (failed == 0)
        return;
    m_context.report.CountFailedAccesses(failed);
    throw CommandError{kExitNoPortAccess,
        std::to_string(failed) + " port accesses failed during " + operation
            + ": the board did not get the whole sequence"};
}

// Every call into the tool that may touch the hardware comes through here:
// the one place for what has to surround such a call.
int BoardSession::OnBoard(const std::function<int()>& call)
{
    if (const long holder = m_lock.Acquire())
        throw CommandError{kExitBusy, BusyText(holder, m_lock.Path())};
    HeldLock held(m_lock);
    LibraryOutputToStderr quiet(m_context.options.json);
    return call();
}

void BoardSession::ReportState()
{
    if (m_board.simulator)
        m_context.report.BoardState(m_board.simulator->State());
}

// A simulated board's time only runs in the tool's pauses, so it is told how
// long the wait was.
unsigned long long BoardSession::BoardMs() const
{
    if (m_board.simulator)
        return m_board.simulator->PassedMs();
    using namespace std::chrono;
    return static_cast<unsigned long long>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool BoardSession::WaitInterval(int seconds)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const bool stopped = m_context.console.stop.WaitFor(static_cast<unsigned>(seconds));
    if (m_board.simulator) {
        const auto waited
            = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        m_board.simulator->Pass(stopped ? static_cast<unsigned long long>(waited)
                                        : static_cast<unsigned long long>(seconds) * 1000);
    }
    return stopped;
}

} // namespace bypassctl
