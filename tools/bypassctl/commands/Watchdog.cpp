// The commands that drive the watchdog: arm, kick, enable and stop it, and
// the operations keepalive shares with them. Each says what the board's
// hardware will do, which is not always what the operation's name promises.
#include "commands/WatchdogOperations.h"

#include "boards/BoardTable.h"

namespace bypassctl {
namespace {

using bypass::WatchdogEffect;

const bypass::BoardRow& RowOf(const BoardSession& session)
{
    return *bypass::FindBoard(session.Type());
}

} // namespace

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

bool CanStop(const BoardSession& session)
{
    return RowOf(session).disableWdt.effect != WatchdogEffect::Nothing;
}

// Where DisableWDT stops nothing, bypass off may still stop a watchdog
// armed for bypass: the board's own bypass switching tells.
std::string WhatStopsIt(const BoardSession& session, ExpiryAction action)
{
    const bypass::BoardRow& row = RowOf(session);
    const bool bypassOffStops = row.bypassOff.effect == bypass::BypassWatchdogEffect::Stops
        || (row.bypassOff.effect == bypass::BypassWatchdogEffect::StopsBypassWatchdog
            && !Restarts(action));
    return std::string(bypassOffStops ? "only bypass off stops it" : "nothing stops it")
        + " (DisableWDT: " + row.disableWdt.what + ")";
}

namespace {

void WarnIfUnstoppable(const BoardSession& session, ExpiryAction action, Report& report)
{
    if (!CanStop(session))
        report.Warn("board type " + std::to_string(session.Type())
            + ": wdt stop cannot stop this watchdog; " + WhatStopsIt(session, action));
}

} // namespace

namespace {

// Arms (or, for kick, re-arms) with the command line's timeout and action.
void ArmWith(Context& context, const char* verb)
{
    const Options& options = context.options;
    Report& report = context.report;
    BoardSession session(context);
    const TimeoutVerdict hardware = PrepareArming(options, session);
    report.Set("action", ActionName(options.action));
    SetTimeoutFacts(report, options.timeout, hardware);
    WarnIfUnstoppable(session, options.action, report);
    const std::string armed
        = HardwareSeconds(options.timeout, hardware) + ", " + ExpiryText(options.action);
    session.Run(Arm(options.action, static_cast<int>(options.timeout)),
        std::string("the watchdog is ") + verb + " anyway: " + armed);
    report.Say(std::string("watchdog ") + verb + ": " + armed);
    report.Say("hardware: " + hardware.text);
    session.ReportState();
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
    WarnIfUnstoppable(session, ExpiryAction::Bypass, report);
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

} // namespace bypassctl
