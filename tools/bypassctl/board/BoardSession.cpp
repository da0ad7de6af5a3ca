#include "board/BoardSession.h"

#include "framework/ToolFactory.h"

#include "board/KernelModules.h"
#include "platform/Process.h"

namespace bypassctl {
namespace {

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

namespace {

// The tools that answer -1 whatever happened, after writing their whole
// sequence (their fixed answers, boards/msi/945G*BypassToolMs.cpp): the
// 945GM-MS tool to restart arming, the 945GC-MS tool to relay switching.
bool AnswersFailureAfterItsSequence(int type, const std::string& operation)
{
    struct FixedAnswer {
        int type;
        const char* operation;
    };
    static const FixedAnswer kFixed[] = {{3, "SetWDTTimeout_ResartSys"},
        {3, "SetWDTTimeout_ResartSys_Again"}, {5, "EnableBypass"}, {5, "DisableBypass"}};
    for (const FixedAnswer& fixed : kFixed)
        if (fixed.type == type && operation == fixed.operation)
            return true;
    return false;
}

} // namespace

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
    const std::string otherProduct = OtherProductWarning(context.options, m_board);
    if (!otherProduct.empty())
        report.Warn(otherProduct);
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
        BoardLock::Held held(m_lock);
        StdoutToStderr quiet(m_context.options.json);
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
        throw CommandError{kExitNoPortAccess, NoPortAccessText()};
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

void BoardSession::Run(const BoardOperation& operation, const std::string& anyway)
{
    const int result = Call(operation);
    m_context.report.Set("result", result);
    // A failed operation still shows what it left the simulated hardware in.
    if (result < 0 || FailedAccesses() != 0)
        ReportState();
    RequireAllAccessesDone(operation.name);
    if (result < 0 && !anyway.empty() && AnswersFailureAfterItsSequence(m_type, operation.name)) {
        m_context.report.Set("took_effect", anyway);
        throw CommandError{kExitBoardFailed,
            "the board answered " + std::to_string(result) + " to " + operation.name + "; "
                + anyway};
    }
    CheckResult(result, operation.name);
}

std::string BoardSession::PortPath() const
{
    return PortPathText(m_context.options, m_board, m_started);
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
    BoardLock::Held held(m_lock);
    StdoutToStderr quiet(m_context.options.json);
    return call();
}

void BoardSession::ReportState()
{
    if (m_board.simulator)
        m_context.report.BoardState(m_board.simulator->State());
}

} // namespace bypassctl
