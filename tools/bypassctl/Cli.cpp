#include "Cli.h"

#include "DriverCommand.h"
#include "Simulator.h"
#include "TextConv.h"
#include "TimeoutTable.h"

#include "framework/BypassInfo.h"
#include "framework/BypassToolManager.h"
#include "framework/ToolFactory.h"
#include "portio/TraceBackend.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <functional>
#include <memory>
#include <sys/stat.h>

namespace bypassctl {
namespace {

using Json = nlohmann::ordered_json;

constexpr int kIdentify = -1;

// Ends a command with an exit code and one line saying why.
struct CommandError {
    ExitCode code;
    std::string message;
};

struct Options {
    int type = kIdentify;
    std::string simulate;
    bool trace = false;
    bool json = false;
    std::string bypassState;
    std::string action = "bypass";
    int timeout = 0;
    int interval = 0; // 0: a third of the timeout
    bool leaveArmed = false;
};

const char* const kExitCodeHelp = "Exit codes: 0 done; 2 bad usage or input (no port touched); "
                                  "3 no port access (driver or privilege); 4 not supported on "
                                  "this board; 5 the board answered a failure (-1).";

#if defined(_WIN32)
const char* const kNoPortAccess = "no port access: the PortTalk driver could not be opened "
                                  "(put PortTalk.sys beside bypassctl.exe and run as "
                                  "administrator, or use --simulate)";
#else
const char* const kNoPortAccess = "no port access: port I/O needs root or CAP_SYS_RAWIO "
                                  "(or use --simulate)";
#endif

#if !defined(_WIN32)
// Kernel watchdog drivers that own the Super I/O watchdogs of these boards.
const char* const kWatchdogModules[] = {"w83627hf_wdt", "it87_wdt"};
#endif

// ---- the catalogue ---------------------------------------------------------

bool IsToolType(int type) { return type >= 0 && find_bypass_info(type) != nullptr; }

std::string AllowedTypes()
{
    std::string list;
    for (const bypass_info& row : g_bypass_info_array) {
        if (!IsToolType(row.type))
            continue;
        list += (list.empty() ? "" : ", ") + std::to_string(row.type);
    }
    return list;
}

const bypass_info* FindRowByProduct(const std::string& product)
{
    for (const bypass_info& row : g_bypass_info_array) {
        if (IsToolType(row.type) && row.board_name[0] != '\0' && product == row.board_name)
            return &row;
    }
    return nullptr;
}

std::string Description(int type)
{
    const bypass_info* row = find_bypass_info(type);
    return row ? GbkToUtf8(row->description) : std::string();
}

// A number of at most nine digits, which always fits an int.
bool IsWholeNumber(const std::string& text)
{
    const std::size_t start = (!text.empty() && text[0] == '-') ? 1 : 0;
    return text.size() > start && text.size() - start <= 9
        && std::all_of(text.begin() + static_cast<long>(start), text.end(),
            [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

// ---- the board a command drives -----------------------------------------------

struct Board {
    int type = kIdentify; // known before identification: --type, or --simulate TYPE
    std::unique_ptr<BoardSimulator> simulator;
    std::unique_ptr<SimulatedProductName> reporting;
};

Board ChooseBoard(const Options& options)
{
    if (options.type != kIdentify && !IsToolType(options.type))
        throw CommandError{kExitUsage,
            "unknown board type " + std::to_string(options.type) + "; allowed: " + AllowedTypes()
                + " (see bypassctl list)"};
    Board board;
    board.type = options.type;
    if (options.simulate.empty())
        return board;
    std::string product = options.simulate;
    int modelType = kIdentify;
    if (IsWholeNumber(options.simulate)) {
        const int type = std::stoi(options.simulate);
        if (!IsToolType(type))
            throw CommandError{kExitUsage,
                "cannot simulate unknown board type " + options.simulate
                    + "; allowed: " + AllowedTypes() + ", or a product name from bypassctl list"};
        product = find_bypass_info(type)->board_name;
        modelType = type;
        if (board.type == kIdentify)
            board.type = type;
    } else if (const bypass_info* row = FindRowByProduct(product)) {
        modelType = row->type;
    } else {
        throw CommandError{kExitUsage,
            "cannot simulate unknown product \"" + product
                + "\"; allowed: a product name or type from bypassctl list"};
    }
    // The hardware is the simulated board's even when --type picks another tool.
    board.simulator = MakeBoardSimulator(modelType, product);
    board.reporting = std::make_unique<SimulatedProductName>(*board.simulator);
    return board;
}

std::string ReportedProduct()
{
    std::string product;
    CBypassToolManager::GetProductNameFromMainBoard(product);
    return product;
}

// The type whose tool serves the board: as given, or identified.
int ResolveType(const Board& board)
{
    if (board.type != kIdentify)
        return board.type;
    const int type = GetHostBypassType();
    if (type < 0)
        throw CommandError{kExitUnsupported,
            "this board's product \"" + ReportedProduct()
                + "\" is not in the catalogue; give --type N if you know its type"};
    return type;
}

// ---- the simulated board's state ----------------------------------------------

const char* RelayName(bypass::sim::Relay relay)
{
    return relay == bypass::sim::Relay::Bypass ? "bypass" : "normal";
}

const char* ExpiryName(bypass::sim::ExpiryAction action)
{
    switch (action) {
    case bypass::sim::ExpiryAction::Bypass:
        return "bypass";
    case bypass::sim::ExpiryAction::Restart:
        return "restart";
    default:
        return "none";
    }
}

Json StateJson(const ModelledState& state)
{
    Json relays = Json::array();
    for (bypass::sim::Relay relay : state.relays)
        relays.push_back(RelayName(relay));
    Json watchdog = {{"running", state.watchdog.running},
        {"action", ExpiryName(state.watchdog.action)}, {"seconds_left", state.watchdog.seconds}};
    return {{"relays", relays}, {"watchdog", watchdog}, {"restarts", state.restarts}};
}

std::string RelaysText(const ModelledState& state)
{
    if (state.relays.empty())
        return "none on this board";
    std::string text;
    for (std::size_t segment = 0; segment < state.relays.size(); ++segment)
        text += (segment ? ", segment " : "segment ") + std::to_string(segment) + " "
            + RelayName(state.relays[segment]);
    return text;
}

std::string WatchdogText(const ModelledState& state)
{
    const bypass::sim::WatchdogState& watchdog = state.watchdog;
    std::string text = watchdog.running ? "running, " + std::to_string(watchdog.seconds)
            + " s left, expiry action " + ExpiryName(watchdog.action)
                                        : std::string("stopped");
    if (state.restarts)
        text += "; its expiry restarted the system " + std::to_string(state.restarts) + " times";
    return text;
}

// ---- port access and the tool -------------------------------------------------

// The tool of one board with the ports it talks through: the platform's, or
// the simulated board's, always seen through a recorder that shows the
// traffic with --trace and tells whether the driver opened.
class ToolSession {
public:
    ToolSession(int type, Board& board, std::FILE* trace)
        : m_ports(board.simulator ? &board.simulator->Ports() : &bypass::PlatformPortBackend())
        , m_tool(bypass::MakeBypassTool(type))
    {
        if (trace)
            m_ports.EchoTo(trace);
        m_previous = bypass::SetPortBackend(&m_ports);
    }

    ~ToolSession()
    {
        // Torn down as the manager does it: fini, then the object, and only
        // then is the recorder taken away.
        m_tool->fini();
        m_tool.reset();
        bypass::SetPortBackend(m_previous);
    }

    ToolSession(const ToolSession&) = delete;
    ToolSession& operator=(const ToolSession&) = delete;

    CBypassTool& Tool() { return *m_tool; }

    // Runs the tool's init; the null tool needs no driver.
    void Start()
    {
        m_tool->init();
        if (m_tool->GetBypassType() != 0 && !m_ports.IsOpen())
            throw CommandError{kExitNoPortAccess, kNoPortAccess};
    }

    // Keeps a long keepalive from collecting its traffic forever.
    void ForgetTraffic() { m_ports.ClearTrace(); }

private:
    bypass::TraceBackend m_ports;
    std::unique_ptr<CBypassTool> m_tool;
    bypass::PortBackend* m_previous = nullptr;
};

void CheckResult(int result, const char* operation)
{
    if (result < 0)
        throw CommandError{kExitBoardFailed,
            std::string("the board answered ") + std::to_string(result) + " to " + operation};
}

void RequireWatchdog(CBypassTool& tool, int type)
{
    if (!tool.IsSupportWDT())
        throw CommandError{kExitUnsupported,
            "board type " + std::to_string(type) + " has no watchdog this tool drives"};
}

void RequireAction(const std::string& action, int type)
{
    if (action == "restart" && !CanArmForRestart(type))
        throw CommandError{kExitUnsupported,
            "board type " + std::to_string(type)
                + " cannot arm its watchdog to restart the system; use --action bypass"};
}

// The hardware's form of the timeout, or exit 2 before any port is touched.
TimeoutVerdict AcceptedTimeout(int type, int seconds)
{
    TimeoutVerdict verdict = JudgeTimeout(type, seconds);
    if (!verdict.accepted)
        throw CommandError{kExitUsage, verdict.text};
    return verdict;
}

std::string JudgedTimeout(int type, int seconds) { return AcceptedTimeout(type, seconds).text; }

int Arm(CBypassTool& tool, const std::string& action, int seconds)
{
    return action == "restart" ? tool.SetWDTTimeout_ResartSys(0, seconds)
                               : tool.SetWDTTimeout_Bypass(0, seconds);
}

const char* ArmName(const std::string& action)
{
    return action == "restart" ? "SetWDTTimeout_ResartSys" : "SetWDTTimeout_Bypass";
}

int Rearm(CBypassTool& tool, const std::string& action)
{
    return action == "restart" ? tool.SetWDTTimeout_ResartSys_Again(0)
                               : tool.SetWDTTimeout_Bypass_Again(0);
}

const char* RearmName(const std::string& action)
{
    return action == "restart" ? "SetWDTTimeout_ResartSys_Again" : "SetWDTTimeout_Bypass_Again";
}

const char* ExpiryText(const std::string& action)
{
    return action == "restart" ? "expiry restarts the system" : "expiry puts the ports into bypass";
}

// ---- the commands -------------------------------------------------------------

class Command {
public:
    Command(const Options& options, Console& console, Json& report)
        : m_options(options)
        , m_console(console)
        , m_report(report)
    {
    }

    void List();
    void Identify();
    void Bypass();
    void WdtArm();
    void WdtKick();
    void WdtEnable();
    void WdtStop();
    void Status();
    void KeepAlive();

private:
    // Text output; --json gathers the same facts in the report instead.
    void Say(const std::string& line)
    {
        if (!m_options.json)
            m_console.out << line << std::endl;
    }

    int DescribeBoard(Board& board);
    std::FILE* Trace() const { return m_options.trace ? m_console.trace : nullptr; }
#if !defined(_WIN32)
    void WarnAboutKernelWatchdogs();
#endif
    void NoteBoardChosenExpiry(int type);
    const char* RearmUntilStopped(
        ToolSession& session, Board& board, int interval, int& result, int& rearms);
    void StoredTimeoutOperation(const char* verb, const std::function<int(CBypassTool&)>& operation,
        const char* operationName);
    void ReportBoardState(const Board& board);
    void CheckBoardResult(const Board& board, int result, const char* operation);
    bool WaitInterval(Board& board, int interval);

    const Options& m_options;
    Console& m_console;
    Json& m_report;
};

int Command::DescribeBoard(Board& board)
{
    const int type = ResolveType(board);
    m_report["type"] = type;
    m_report["tool"] = bypass::BypassToolClassName(type);
    m_report["simulated"] = board.simulator != nullptr;
    Say("board: type " + std::to_string(type) + ", " + Description(type) + ", "
        + bypass::BypassToolClassName(type) + (board.simulator ? " (simulated)" : ""));
    return type;
}

// What the simulated hardware holds after the operation, which a real
// board cannot be asked for.
void Command::ReportBoardState(const Board& board)
{
    if (!board.simulator)
        return;
    const ModelledState state = board.simulator->State();
    m_report["board_state"] = StateJson(state);
    Say("simulated relays: " + RelaysText(state));
    Say("simulated watchdog: " + WatchdogText(state));
}

// A failed operation still shows what it left the simulated hardware in.
void Command::CheckBoardResult(const Board& board, int result, const char* operation)
{
    if (result < 0)
        ReportBoardState(board);
    CheckResult(result, operation);
}

void Command::List()
{
    Json boards = Json::array();
    Say("type  product          extra  model          description");
    for (int i = 0; i < g_bypass_info_count; ++i) {
        const bypass_info& row = g_bypass_info_array[i];
        const std::string model = GbkToUtf8(row.model_label);
        const std::string description = GbkToUtf8(row.description);
        boards.push_back({{"type", row.type}, {"product", row.board_name},
            {"description", description}, {"model", model}, {"extra1", row.extra1},
            {"extra2", row.extra2},
            {"tool", row.type < 0 ? Json(nullptr) : Json(bypass::BypassToolClassName(row.type))}});
        char head[64];
        std::snprintf(head, sizeof head, "%-5d %-16s %d,%d    ", row.type, row.board_name,
            row.extra1, row.extra2);
        const std::size_t width = DisplayWidth(model);
        Say(head + model + std::string(width < 15 ? 15 - width : 1, ' ') + description);
    }
    m_report["boards"] = boards;
}

#if !defined(_WIN32)
void Command::WarnAboutKernelWatchdogs()
{
    Json loaded = Json::array();
    for (const char* module : kWatchdogModules) {
        struct stat info;
        const std::string path = m_console.moduleDir + "/" + module;
        if (stat(path.c_str(), &info) != 0)
            continue;
        loaded.push_back(module);
        m_console.err << "bypassctl: warning: kernel module " << module
                      << " is loaded and owns the same watchdog chip; unload it (rmmod " << module
                      << ") before driving the watchdog from here" << std::endl;
    }
    m_report["kernel_watchdog_modules"] = loaded;
}
#endif

void Command::Identify()
{
    Board board = ChooseBoard(m_options);
    const std::string product = ReportedProduct();
    const int type = board.type != kIdentify ? board.type : GetHostBypassType();
    m_report["product"] = product;
    m_report["simulated"] = board.simulator != nullptr;
    m_report["type"] = type < 0 ? Json(nullptr) : Json(type);
    m_report["description"] = type < 0 ? Json(nullptr) : Json(Description(type));
    m_report["tool"] = bypass::BypassToolClassName(type);
    Say("product: \"" + product + "\"" + (board.simulator ? " (simulated)" : ""));
    if (type < 0)
        Say("type: none, the product is not in the catalogue (give --type N to choose one)");
    else
        Say("type: " + std::to_string(type) + ", " + Description(type));
    Say(std::string("tool: ") + bypass::BypassToolClassName(type));
#if !defined(_WIN32)
    // Only a real machine has kernel drivers in the way.
    if (!board.simulator)
        WarnAboutKernelWatchdogs();
#endif
}

void Command::Bypass()
{
    Board board = ChooseBoard(m_options);
    const int type = DescribeBoard(board);
    const bool on = m_options.bypassState == "on";
    m_report["bypass"] = m_options.bypassState;
    if (type == 0)
        throw CommandError{kExitUnsupported, "board type 0 has no bypass hardware"};
    ToolSession session(type, board, Trace());
    session.Start();
    const int result = on ? session.Tool().EnableBypass() : session.Tool().DisableBypass();
    m_report["result"] = result;
    CheckBoardResult(board, result, on ? "EnableBypass" : "DisableBypass");
    Say(on ? "bypass on: the ports are joined past this machine"
           : "bypass off: traffic passes through this machine");
    ReportBoardState(board);
}

void Command::WdtArm()
{
    Board board = ChooseBoard(m_options);
    const int type = DescribeBoard(board);
    ToolSession session(type, board, Trace());
    RequireWatchdog(session.Tool(), type);
    RequireAction(m_options.action, type);
    const std::string hardware = JudgedTimeout(type, m_options.timeout);
    m_report["action"] = m_options.action;
    m_report["timeout_seconds"] = m_options.timeout;
    m_report["hardware"] = hardware;
    session.Start();
    const int result = Arm(session.Tool(), m_options.action, m_options.timeout);
    m_report["result"] = result;
    CheckBoardResult(board, result, ArmName(m_options.action));
    Say("watchdog armed: " + std::to_string(m_options.timeout) + " s, "
        + ExpiryText(m_options.action));
    Say("hardware: " + hardware);
    NoteBoardChosenExpiry(type);
    ReportBoardState(board);
}

void Command::NoteBoardChosenExpiry(int type)
{
    if (!BoardChoosesExpiry(type))
        return;
    const char* note = "this board gets the same bytes for both actions: its own logic decides "
                       "what expiry does";
    m_report["note"] = note;
    Say(std::string("note: ") + note);
}

// A new tool holds the library's initial timeout, so the stored-timeout
// operations of a fresh bypassctl use it: say which, and what it becomes.
void Command::StoredTimeoutOperation(
    const char* verb, const std::function<int(CBypassTool&)>& operation, const char* operationName)
{
    Board board = ChooseBoard(m_options);
    const int type = DescribeBoard(board);
    ToolSession session(type, board, Trace());
    RequireWatchdog(session.Tool(), type);
    const int seconds = session.Tool().GetTimeoutSecond();
    const char* withoutTimeout
        = std::string(operationName) == "EnableWDT" ? EnableWithoutTimeout(type) : nullptr;
    const std::string hardware = withoutTimeout ? withoutTimeout : JudgeTimeout(type, seconds).text;
    m_report["timeout_seconds"] = seconds;
    m_report["hardware"] = hardware;
    session.Start();
    const int result = operation(session.Tool());
    m_report["result"] = result;
    CheckBoardResult(board, result, operationName);
    Say(std::string(verb) + " with the tool's stored timeout, " + std::to_string(seconds)
        + " s (a new tool's default; use wdt arm for another)");
    Say("hardware: " + hardware);
    ReportBoardState(board);
}

void Command::WdtKick()
{
    const std::string action = m_options.action;
    m_report["action"] = action;
    StoredTimeoutOperation(
        "watchdog re-armed", [&action](CBypassTool& tool) { return Rearm(tool, action); },
        RearmName(action));
}

void Command::WdtEnable()
{
    StoredTimeoutOperation(
        "watchdog started", [](CBypassTool& tool) { return tool.EnableWDT(); }, "EnableWDT");
}

void Command::WdtStop()
{
    Board board = ChooseBoard(m_options);
    const int type = DescribeBoard(board);
    ToolSession session(type, board, Trace());
    RequireWatchdog(session.Tool(), type);
    session.Start();
    const int result = session.Tool().DisableWDT();
    m_report["result"] = result;
    CheckBoardResult(board, result, "DisableWDT");
    Say("watchdog stopped");
    ReportBoardState(board);
}

void Command::Status()
{
    Board board = ChooseBoard(m_options);
    const int type = DescribeBoard(board);
    ToolSession session(type, board, Trace());
    session.Start();
    CBypassTool& tool = session.Tool();
    // The buffer is larger than any board's text: the tool is not told its size.
    char description[256] = {};
    tool.GetCurDesc(description);
    const bool watchdog = tool.IsSupportWDT() != 0;
    m_report["watchdog_supported"] = watchdog;
    m_report["timeout_seconds"] = tool.GetTimeoutSecond();
    m_report["description"] = description[0] ? Json(description) : Json(nullptr);
    Say(std::string("watchdog: ") + (watchdog ? "supported" : "none this tool drives"));
    Say("stored timeout: " + std::to_string(tool.GetTimeoutSecond())
        + " s (the tool's own value; the hardware is not read back)");
    if (description[0])
        Say(std::string("description: ") + description);
    ReportBoardState(board);
}

// Default a third of the timeout; it must leave time to re-arm before expiry,
// also on a board whose code rounds the timeout down.
int KeepAliveInterval(const Options& options, const TimeoutVerdict& timeout)
{
    const int interval = options.interval ? options.interval : std::max(1, options.timeout / 3);
    if (interval >= 1 && interval < options.timeout && interval < timeout.shortestSeconds)
        return interval;
    std::string limit = "the timeout of " + std::to_string(options.timeout) + " s";
    if (timeout.shortestSeconds < options.timeout)
        limit = "the " + std::to_string(timeout.shortestSeconds) + " s the board may count for "
            + limit;
    throw CommandError{kExitUsage,
        "interval " + std::to_string(interval) + " s must be at least 1 s and shorter than "
            + limit};
}

// Waits one interval, or less when a stop is requested. A simulated board's
// time only runs in the tool's pauses, so it is told how long the wait was.
bool Command::WaitInterval(Board& board, int interval)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const bool stopped = m_console.stop.WaitFor(static_cast<unsigned>(interval));
    if (board.simulator) {
        const auto waited
            = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        board.simulator->Pass(stopped ? static_cast<unsigned long long>(waited)
                                      : static_cast<unsigned long long>(interval) * 1000);
    }
    return stopped;
}

// Re-arms every interval until a stop is requested or the board answers a
// failure; result is the last answer, and the failed operation is named.
const char* Command::RearmUntilStopped(
    ToolSession& session, Board& board, int interval, int& result, int& rearms)
{
    while (!WaitInterval(board, interval)) {
        result = Rearm(session.Tool(), m_options.action);
        session.ForgetTraffic();
        if (result < 0)
            return RearmName(m_options.action);
        ++rearms;
    }
    return nullptr;
}

void Command::KeepAlive()
{
    Board board = ChooseBoard(m_options);
    const int type = DescribeBoard(board);
    ToolSession session(type, board, Trace());
    RequireWatchdog(session.Tool(), type);
    RequireAction(m_options.action, type);
    const TimeoutVerdict timeout = AcceptedTimeout(type, m_options.timeout);
    const std::string& hardware = timeout.text;
    const int interval = KeepAliveInterval(m_options, timeout);
    m_report["action"] = m_options.action;
    m_report["timeout_seconds"] = m_options.timeout;
    m_report["interval_seconds"] = interval;
    m_report["hardware"] = hardware;

    m_console.stop.Listen();
    session.Start();
    int result = Arm(session.Tool(), m_options.action, m_options.timeout);
    Say("watchdog armed: " + std::to_string(m_options.timeout) + " s, "
        + ExpiryText(m_options.action) + "; re-arming every " + std::to_string(interval)
        + " s until SIGINT or SIGTERM");
    Say("hardware: " + hardware);
    NoteBoardChosenExpiry(type);
    int rearms = 0;
    const char* failed = result < 0 ? ArmName(m_options.action)
                                    : RearmUntilStopped(session, board, interval, result, rearms);
    m_report["rearms"] = rearms;
    // Even after a failure the watchdog may be counting: stop it unless told not to.
    const bool leaveArmed = m_options.leaveArmed;
    m_report["watchdog"] = leaveArmed ? "armed" : "stopped";
    const int stopResult = leaveArmed ? 0 : session.Tool().DisableWDT();
    m_report["result"] = failed ? result : stopResult;
    Say("re-armed " + std::to_string(rearms) + " times; watchdog "
        + (leaveArmed ? "left armed" : "stopped"));
    ReportBoardState(board);
    if (failed)
        CheckResult(result, failed);
    CheckResult(stopResult, "DisableWDT");
}

// ---- the command line ---------------------------------------------------------

void AddBoardOptions(CLI::App& app, Options& options)
{
    app.add_option("--type", options.type, "board type from bypassctl list (skips identification)");
    app.add_option("--simulate", options.simulate,
        "run against a simulated board, by type or product name: no privileges, no real ports");
    app.add_flag("--trace", options.trace, "show every port access and sleep on standard error");
    app.add_flag("--json", options.json, "write one JSON object on standard output");
}

void AddActionOption(CLI::App& command, Options& options, bool required)
{
    CLI::Option* action = command.add_option("--action", options.action,
        "what expiry does: bypass (join the ports) or restart (reset the system)");
    action->check(CLI::IsMember({"bypass", "restart"}));
    if (required)
        action->required();
}

struct CommandLine {
    CLI::App app{
        "bypassctl: drive the LAN-bypass relays and the watchdog of this appliance", "bypassctl"};
    CLI::App* list;
    CLI::App* identify;
    CLI::App* bypass;
    CLI::App* wdt;
    CLI::App* wdtArm;
    CLI::App* wdtKick;
    CLI::App* wdtEnable;
    CLI::App* wdtStop;
    CLI::App* status;
    CLI::App* keepalive;
    DriverCommand driver;

    explicit CommandLine(Options& options);

    CLI::App* Subcommand(CLI::App& parent, const char* name, const char* description)
    {
        CLI::App* command = parent.add_subcommand(name, description);
        command->fallthrough();
        command->footer(kExitCodeHelp);
        return command;
    }
};

CommandLine::CommandLine(Options& options)
{
    app.footer(kExitCodeHelp);
    app.require_subcommand(1);
    AddBoardOptions(app, options);
    list = Subcommand(app, "list", "show the board catalogue");
    identify = Subcommand(app, "identify",
        "show the product name the board reports, its type and the tool that serves it");
    bypass = Subcommand(app, "bypass", "switch the bypass relays on (ports joined) or off");
    bypass->add_option("state", options.bypassState, "on or off")
        ->required()
        ->check(CLI::IsMember({"on", "off"}));
    wdt = Subcommand(app, "wdt", "drive the watchdog");
    wdt->require_subcommand(1);
    wdtArm = Subcommand(*wdt, "arm", "arm the watchdog with a timeout and an expiry action");
    AddActionOption(*wdtArm, options, true);
    wdtArm->add_option("--timeout", options.timeout, "timeout in whole seconds")->required();
    wdtKick = Subcommand(*wdt, "kick",
        "re-arm with the tool's stored timeout (5 s in a new bypassctl; keepalive re-arms "
        "with its own)");
    AddActionOption(*wdtKick, options, false);
    wdtEnable = Subcommand(*wdt, "enable", "start the watchdog with the tool's stored timeout");
    wdtStop = Subcommand(*wdt, "stop", "stop the watchdog");
    status = Subcommand(app, "status",
        "show whether the board has a watchdog, the stored timeout and the board's own text");
    keepalive = Subcommand(
        app, "keepalive", "arm the watchdog and re-arm it until SIGINT or SIGTERM, then stop it");
    keepalive->add_option("--timeout", options.timeout, "timeout in whole seconds")->required();
    AddActionOption(*keepalive, options, false);
    keepalive->add_option("--interval", options.interval,
        "seconds between re-arms, shorter than the timeout (default a third of it)");
    keepalive->add_flag("--leave-armed", options.leaveArmed,
        "leave the watchdog armed when stopped, so it expires");
    driver = AddDriverCommand(app);
}

std::string CommandName(const CommandLine& line)
{
    if (line.wdt->parsed()) {
        for (const CLI::App* command : {line.wdtArm, line.wdtKick, line.wdtEnable, line.wdtStop}) {
            if (command->parsed())
                return "wdt " + command->get_name();
        }
    }
    for (const CLI::App* command : line.app.get_subcommands()) {
        if (command->parsed())
            return command->get_name();
    }
    return "";
}

void RunCommand(const CommandLine& line, Command& command)
{
    if (line.list->parsed())
        command.List();
    else if (line.identify->parsed())
        command.Identify();
    else if (line.bypass->parsed())
        command.Bypass();
    else if (line.wdtArm->parsed())
        command.WdtArm();
    else if (line.wdtKick->parsed())
        command.WdtKick();
    else if (line.wdtEnable->parsed())
        command.WdtEnable();
    else if (line.wdtStop->parsed())
        command.WdtStop();
    else if (line.status->parsed())
        command.Status();
    else
        command.KeepAlive();
}

int Fail(Console& console, bool json, Json& report, ExitCode code, const std::string& message)
{
    console.err << "bypassctl: " << message << std::endl;
    if (json) {
        report["error"] = message;
        report["exit_code"] = code;
        console.out << report.dump() << std::endl;
    }
    return code;
}

} // namespace

int RunBypassctl(const std::vector<std::string>& args, Console& console)
{
    Options options;
    CommandLine line(options);
    Json report;
    // CLI11 takes the arguments last one first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        line.app.parse(reversed);
    } catch (const CLI::CallForHelp& help) {
        return line.app.exit(help, console.out, console.err);
    } catch (const CLI::ParseError& error) {
        const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
        return Fail(console, json, report, kExitUsage,
            std::string(error.what()) + " (bypassctl --help shows what is allowed)");
    }
    if (DriverCommandParsed(line.driver))
        return RunDriverCommand(line.driver, console);
    report["command"] = CommandName(line);
    Command command(options, console, report);
    try {
        RunCommand(line, command);
    } catch (const CommandError& error) {
        return Fail(console, options.json, report, error.code, error.message);
    }
    if (options.json) {
        report["exit_code"] = kExitDone;
        console.out << report.dump() << std::endl;
    }
    return kExitDone;
}

} // namespace bypassctl
