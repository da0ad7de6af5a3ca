// The commands that drive the watchdog: arm, kick, enable and stop it, and
// keep it alive until a stop is requested. Each says what the board's
// hardware will do, which is not always what the operation's name promises.
#include "BoardSession.h"
#include "Command.h"
#include "TimeoutTable.h"

#include "boards/BoardTable.h"

#include <algorithm>

namespace bypassctl {
namespace {

using bypass::WatchdogEffect;

bool Restarts(ExpiryAction action) { return action == ExpiryAction::Restart; }

const char* ActionName(ExpiryAction action) { return Restarts(action) ? "restart" : "bypass"; }

const char* ExpiryText(ExpiryAction action)
{
    return Restarts(action) ? "expiry restarts the system" : "expiry puts the ports into bypass";
}

BoardOperation Arm(ExpiryAction action, int seconds)
{
    if (Restarts(action))
        return {"SetWDTTimeout_ResartSys",
            [seconds](CBypassTool& tool) { return tool.SetWDTTimeout_ResartSys(0, seconds); }};
    return {"SetWDTTimeout_Bypass",
        [seconds](CBypassTool& tool) { return tool.SetWDTTimeout_Bypass(0, seconds); }};
}

BoardOperation Rearm(ExpiryAction action)
{
    if (Restarts(action))
        return {"SetWDTTimeout_ResartSys_Again",
            [](CBypassTool& tool) { return tool.SetWDTTimeout_ResartSys_Again(0); }};
    return {"SetWDTTimeout_Bypass_Again",
        [](CBypassTool& tool) { return tool.SetWDTTimeout_Bypass_Again(0); }};
}

const BoardOperation kDisable{"DisableWDT", [](CBypassTool& tool) { return tool.DisableWDT(); }};

const bypass::BoardRow& RowOf(const BoardSession& session)
{
    return *bypass::FindBoard(session.Type());
}

// What arming needs of the board, checked before any port is touched: the
// hardware's form of the timeout, or exit 2 or 4.
TimeoutVerdict PrepareArming(const Options& options, BoardSession& session)
{
    session.RequireWatchdog();
    const std::string noRestart = WhyNoRestart(session.Type());
    if (Restarts(options.action) && !noRestart.empty())
        throw CommandError{kExitUnsupported, noRestart};
    TimeoutVerdict verdict
        = JudgeTimeout(session.Type(), Restarts(options.action), options.timeout);
    if (!verdict.accepted)
        throw CommandError{kExitUsage, verdict.text};
    return verdict;
}

// "16 s on the hardware (30 s asked)": what the hardware counts first, the
// figure asked for beside it where the two differ.
std::string HardwareSeconds(long long asked, const TimeoutVerdict& hardware)
{
    const std::string seconds = std::to_string(hardware.hardwareSeconds) + " s";
    if (hardware.hardwareSeconds == asked)
        return seconds;
    return seconds + " on the hardware (" + std::to_string(asked) + " s asked)";
}

void SetTimeoutFacts(Report& report, long long asked, const TimeoutVerdict& hardware)
{
    report.Set("timeout_seconds", asked);
    report.Set("hardware_seconds", hardware.hardwareSeconds);
    report.Set("hardware", hardware.text);
}

// Arms (or, for kick, re-arms) with the command line's timeout and action.
void ArmWith(Context& context, const char* verb)
{
    const Options& options = context.options;
    Report& report = context.report;
    BoardSession session(context);
    const TimeoutVerdict hardware = PrepareArming(options, session);
    report.Set("action", ActionName(options.action));
    SetTimeoutFacts(report, options.timeout, hardware);
    session.Run(Arm(options.action, static_cast<int>(options.timeout)));
    report.Say(std::string("watchdog ") + verb + ": " + HardwareSeconds(options.timeout, hardware)
        + ", " + ExpiryText(options.action));
    report.Say("hardware: " + hardware.text);
    session.ReportState();
}

// Default a third of what the hardware counts; it must leave time to re-arm
// before expiry, also on a board whose code rounds the timeout down.
int KeepAliveInterval(const Options& options, const TimeoutVerdict& timeout)
{
    const long long interval = options.interval != kNotGiven
        ? options.interval
        : std::max(1, timeout.hardwareSeconds / 3);
    if (interval >= 1 && interval < timeout.hardwareSeconds)
        return static_cast<int>(interval);
    std::string limit = "the timeout of " + std::to_string(options.timeout) + " s";
    if (timeout.hardwareSeconds < options.timeout)
        limit = "the " + std::to_string(timeout.hardwareSeconds) + " s the board may count for "
            + limit;
    throw CommandError{kExitUsage,
        "interval " + std::to_string(interval) + " s must be at least 1 s and shorter than "
            + limit};
}

// Re-arms every interval until a stop is requested or the board answers a
// failure; result is the last answer, and the failed operation is named.
const char* RearmUntilStopped(
    BoardSession& session, ExpiryAction action, int interval, int& result, int& rearms)
{
    const BoardOperation rearm = Rearm(action);
    while (!session.WaitInterval(interval)) {
        result = session.Call(rearm);
        session.ForgetTraffic();
        if (result < 0)
            return rearm.name;
        ++rearms;
    }
    return nullptr;
}

bool CanStop(const BoardSession& session)
{
    return RowOf(session).disableWdt.effect != WatchdogEffect::Nothing;
}

// Where DisableWDT acts on whichever logical device the Super I/O has
// selected, a new process finds the selection an earlier one left: the
// watchdog's after an arming, another device (whose function DisableWDT
// would switch off) after power-on or another program. Looks at it without
// writing, and refuses unless it is the watchdog's; answers the device
// found, -1 where the board's DisableWDT selects nothing.
int RequireWatchdogSelected(BoardSession& session, Report& report)
{
    const bypass::BoardRow& row = RowOf(session);
    if (!row.selectedDevice)
        return -1;
    const int selected = session.Call({"reading the selected logical device",
        [&row](CBypassTool&) { return row.selectedDevice(); }});
    report.Set("selected_device", selected);
    if (selected == row.watchdogDevice)
        return selected;
    const std::string device = "logical device " + std::to_string(selected);
    throw CommandError{kExitUnsupported,
        device + " is selected in the Super I/O, not the watchdog's device "
            + std::to_string(row.watchdogDevice) + ": DisableWDT would deactivate " + device
            + ", not the watchdog; nothing was run. wdt arm selects the watchdog: run it, then wdt "
              "stop, or end keepalive, which stops it"};
}

} // namespace

void ArmWatchdog(Context& context) { ArmWith(context, "armed"); }

// A new bypassctl holds only the library's initial timeout: the re-arm
// needs the one the watchdog runs with, or it would silently change it.
void KickWatchdog(Context& context)
{
    if (context.options.timeout == kNotGiven)
        throw CommandError{kExitUsage,
            "wdt kick needs --timeout SECONDS, the timeout the watchdog was armed with: a new "
            "bypassctl holds only the library's 5 s default, and re-arming with it would cut a "
            "longer timeout short"};
    ArmWith(context, "re-armed");
}

// EnableWDT gives the hardware the tool's stored timeout, which in a new
// bypassctl is the library's initial 5 s; only where it starts a watchdog
// from there is it run.
void EnableWatchdog(Context& context)
{
    Report& report = context.report;
    BoardSession session(context);
    session.RequireWatchdog();
    const bypass::WatchdogStep& step = RowOf(session).enableWdt;
    if (step.effect != WatchdogEffect::Starts)
        throw CommandError{kExitUnsupported,
            "board type " + std::to_string(session.Type())
                + " cannot start its watchdog with wdt enable from a new bypassctl (EnableWDT: "
                + step.what + "); use wdt arm"};
    const int stored = session.Tool().GetTimeoutSecond();
    const TimeoutVerdict hardware = JudgeTimeout(session.Type(), false, stored);
    SetTimeoutFacts(report, stored, hardware);
    report.Set("effect", step.what);
    session.Run({"EnableWDT", [](CBypassTool& tool) { return tool.EnableWDT(); }});
    report.Say("watchdog started: " + HardwareSeconds(stored, hardware)
        + ", from the stored timeout of a new bypassctl (use wdt arm for another)");
    report.Say("hardware: " + hardware.text);
    report.Say(std::string("EnableWDT: ") + step.what);
    session.ReportState();
}

void StopWatchdog(Context& context)
{
    BoardSession session(context);
    session.RequireWatchdog();
    const bypass::WatchdogStep& step = RowOf(session).disableWdt;
    if (!CanStop(session))
        throw CommandError{kExitUnsupported,
            "board type " + std::to_string(session.Type())
                + " cannot stop its watchdog (DisableWDT: " + step.what
                + "); an armed watchdog expires when the count it was last armed with runs out, "
                  "with the action it was armed with"};
    const int selected = RequireWatchdogSelected(session, context.report);
    context.report.Set("effect", step.what);
    session.Run(kDisable);
    if (selected >= 0)
        context.report.Say("watchdog stopped: DisableWDT acted on logical device "
            + std::to_string(selected) + ", the watchdog's, which the chip had selected");
    else
        context.report.Say(std::string(step.effect == WatchdogEffect::Stops ? "watchdog stopped: "
                                                                            : "DisableWDT: ")
            + step.what);
    session.ReportState();
}

void KeepWatchdogAlive(Context& context)
{
    const Options& options = context.options;
    Report& report = context.report;
    BoardSession session(context);
    const TimeoutVerdict timeout = PrepareArming(options, session);
    const int interval = KeepAliveInterval(options, timeout);
    session.AdvertiseKeepalive();
    report.Set("action", ActionName(options.action));
    SetTimeoutFacts(report, options.timeout, timeout);
    report.Set("interval_seconds", interval);
    const std::string expiry
        = HardwareSeconds(options.timeout, timeout) + ", " + ExpiryText(options.action);
    const bool canStop = CanStop(session);
    if (!canStop && !options.leaveArmed)
        report.Warn("board type " + std::to_string(session.Type())
            + " cannot stop its watchdog: once keepalive ends it expires after the last re-arm: "
            + expiry);

    context.console.stop.Listen();
    const BoardOperation arm = Arm(options.action, static_cast<int>(options.timeout));
    int result = session.Call(arm);
    report.Say("watchdog armed: " + expiry + "; re-arming every " + std::to_string(interval)
        + " s until SIGINT, SIGTERM or SIGHUP");
    report.Say("hardware: " + timeout.text);
    int rearms = 0;
    const char* failed = result < 0
        ? arm.name
        : RearmUntilStopped(session, options.action, interval, result, rearms);
    report.Set("rearms", rearms);
    // Even after a failure the watchdog may be counting: stop it unless told
    // not to, or the board cannot.
    const bool leaveArmed = options.leaveArmed || !canStop;
    report.Set("watchdog", leaveArmed ? "armed" : "stopped");
    const int stopResult = leaveArmed ? 0 : session.Call(kDisable);
    report.Set("result", failed ? result : stopResult);
    report.Say("re-armed " + std::to_string(rearms) + " times; watchdog "
        + (leaveArmed ? "left armed" : "stopped")
        + (canStop ? "" : " (this board cannot stop it)"));
    session.ReportState();
    if (failed)
        CheckResult(result, failed);
    CheckResult(stopResult, kDisable.name);
}

} // namespace bypassctl
