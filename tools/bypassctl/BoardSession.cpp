#include "BoardSession.h"

#include "framework/ToolFactory.h"

#include <chrono>

namespace bypassctl {
namespace {

#if defined(_WIN32)
const char* const kNoPortAccess = "no port access: the PortTalk driver could not be opened "
                                  "(put PortTalk.sys beside bypassctl.exe and run as "
                                  "administrator, or use --simulate)";
#else
const char* const kNoPortAccess = "no port access: port I/O needs root or CAP_SYS_RAWIO "
                                  "(or use --simulate)";
#endif

bypass::PortBackend* PortsOf(Board& board)
{
    return board.simulator ? &board.simulator->Ports() : &bypass::PlatformPortBackend();
}

} // namespace

void CheckResult(int result, const char* operation)
{
    if (result < 0)
        throw CommandError{kExitBoardFailed,
            std::string("the board answered ") + std::to_string(result) + " to " + operation};
}

BoardSession::BoardSession(Context& context)
    : m_context(context)
    , m_board(ChooseBoard(context.options))
    , m_type(ResolveType(m_board))
    , m_ports(PortsOf(m_board))
{
    const char* tool = bypass::BypassToolClassName(m_type);
    Report& report = m_context.report;
    report.Set("type", m_type);
    report.Set("tool", tool);
    report.Set("simulated", m_board.simulator != nullptr);
    report.Say("board: type " + std::to_string(m_type) + ", " + Description(m_type) + ", " + tool
        + (m_board.simulator ? " (simulated)" : ""));
}

BoardSession::~BoardSession()
{
    if (!m_tool)
        return;
    OnBoard([this] {
        m_tool->fini();
        return 0;
    });
    m_tool.reset();
    bypass::SetPortBackend(m_previous);
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
        throw CommandError{kExitNoPortAccess, kNoPortAccess};
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
    if (result < 0)
        ReportState();
    CheckResult(result, operation.name);
}

// Every call into the tool that may touch the hardware comes through here:
// the one place for what has to surround such a call.
int BoardSession::OnBoard(const std::function<int()>& call) { return call(); }

void BoardSession::ReportState()
{
    if (m_board.simulator)
        m_context.report.BoardState(m_board.simulator->State());
}

// A simulated board's time only runs in the tool's pauses, so it is told how
// long the wait was.
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
