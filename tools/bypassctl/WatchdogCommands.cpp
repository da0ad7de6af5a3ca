// The commands that drive the watchdog: arm, kick, enable and stop it, and
// keep it alive until a stop is requested.
#include "BoardSession.h"
#include "Command.h"
#include "TimeoutTable.h"

#include <algorithm>

namespace bypassctl {
namespace {

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

void RequireAction(ExpiryAction action, int type)
{
    if (Restarts(action) && !CanArmForRestart(type))
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

// What arming needs of the board, checked before any port is touched; the
// hardware's form of the timeout.
TimeoutVerdict PrepareArming(const Options& options, BoardSession& session)
{
    session.RequireWatchdog();
    RequireAction(options.action, session.Type());
    return AcceptedTimeout(session.Type(), options.timeout);
}

void NoteBoardChosenExpiry(Report& report, int type)
{
    if (!BoardChoosesExpiry(type))
        return;
    const char* note = "this board gets the same bytes for both actions: its own logic decides "
                       "what expiry does";
    report.Set("note", note);
    report.Say(std::string("note: ") + note);
}

// A new tool holds the library's initial timeout, so the stored-timeout
// operations of a fresh bypassctl use it: say which, and what it becomes.
// withoutTimeout, where given, tells what the operation gives a board that
// does not send the stored timeout.
// With rearming set, the operation re-arms for the command line's --action,
// which the board must be able to take.
void StoredTimeoutOperation(Context& context, const char* verb, const BoardOperation& operation,
    const char* (*withoutTimeout)(int type), bool rearming = false)
{
    Report& report = context.report;
    BoardSession session(context);
    session.RequireWatchdog();
    if (rearming)
        RequireAction(context.options.action, session.Type());
    const int seconds = session.Tool().GetTimeoutSecond();
    const char* sent = withoutTimeout ? withoutTimeout(session.Type()) : nullptr;
    const std::string hardware = sent ? sent : JudgeTimeout(session.Type(), seconds).text;
    report.Set("timeout_seconds", seconds);
    report.Set("hardware", hardware);
    session.Run(operation);
    report.Say(std::string(verb) + " with the tool's stored timeout, " + std::to_string(seconds)
        + " s (a new tool's default; use wdt arm for another)");
    report.Say("hardware: " + hardware);
    session.ReportState();
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

} // namespace

void ArmWatchdog(Context& context)
{
    const Options& options = context.options;
    Report& report = context.report;
    BoardSession session(context);
    const std::string hardware = PrepareArming(options, session).text;
    report.Set("action", ActionName(options.action));
    report.Set("timeout_seconds", options.timeout);
    report.Set("hardware", hardware);
    session.Run(Arm(options.action, options.timeout));
    report.Say(
        "watchdog armed: " + std::to_string(options.timeout) + " s, " + ExpiryText(options.action));
    report.Say("hardware: " + hardware);
    NoteBoardChosenExpiry(report, session.Type());
    session.ReportState();
}

void KickWatchdog(Context& context)
{
    context.report.Set("action", ActionName(context.options.action));
    StoredTimeoutOperation(
        context, "watchdog re-armed", Rearm(context.options.action), nullptr, true);
}

void EnableWatchdog(Context& context)
{
    StoredTimeoutOperation(context, "watchdog started",
        {"EnableWDT", [](CBypassTool& tool) { return tool.EnableWDT(); }}, EnableWithoutTimeout);
}

void StopWatchdog(Context& context)
{
    BoardSession session(context);
    session.RequireWatchdog();
    session.Run(kDisable);
    context.report.Say("watchdog stopped");
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
    report.Set("timeout_seconds", options.timeout);
    report.Set("interval_seconds", interval);
    report.Set("hardware", timeout.text);

    context.console.stop.Listen();
    const BoardOperation arm = Arm(options.action, options.timeout);
    int result = session.Call(arm);
    report.Say("watchdog armed: " + std::to_string(options.timeout) + " s, "
        + ExpiryText(options.action) + "; re-arming every " + std::to_string(interval)
        + " s until SIGINT or SIGTERM");
    report.Say("hardware: " + timeout.text);
    NoteBoardChosenExpiry(report, session.Type());
    int rearms = 0;
    const char* failed = result < 0
        ? arm.name
        : RearmUntilStopped(session, options.action, interval, result, rearms);
    report.Set("rearms", rearms);
    // Even after a failure the watchdog may be counting: stop it unless told not to.
    const bool leaveArmed = options.leaveArmed;
    report.Set("watchdog", leaveArmed ? "armed" : "stopped");
    const int stopResult = leaveArmed ? 0 : session.Call(kDisable);
    report.Set("result", failed ? result : stopResult);
    report.Say("re-armed " + std::to_string(rearms) + " times; watchdog "
        + (leaveArmed ? "left armed" : "stopped"));
    session.ReportState();
    if (failed)
        CheckResult(result, failed);
    CheckResult(stopResult, kDisable.name);
}

} // namespace bypassctl
