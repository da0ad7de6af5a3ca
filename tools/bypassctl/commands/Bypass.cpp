// bypass on | off: the relays that join the ports past this machine. On
// these boards relays and watchdog are coupled, so the report tells what
// the switch did to both.
#include "board/BoardSession.h"

#include "boards/BoardTable.h"

namespace bypassctl {
namespace {

using bypass::BypassWatchdogEffect;

const char* EffectName(BypassWatchdogEffect effect)
{
    switch (effect) {
    case BypassWatchdogEffect::Stops:
        return "stops";
    case BypassWatchdogEffect::StopsBypassWatchdog:
        return "stops_bypass_watchdog";
    case BypassWatchdogEffect::ForcesExpiry:
        return "forces_expiry";
    case BypassWatchdogEffect::ArmsShortWatchdog:
        return "arms_short_watchdog";
    default:
        return "none";
    }
}

// The relays' half: done, or pending where the board only armed a watchdog
// whose expiry joins the ports.
std::string RelaysText(bool on, const bypass::BypassStep& step)
{
    if (!on)
        return "bypass off: traffic passes through this machine";
    if (step.effect == BypassWatchdogEffect::ArmsShortWatchdog)
        return std::string("bypass on: pending, not yet joined: ") + step.what;
    return "bypass on: the ports are joined past this machine";
}

// The watchdog's half, after the relays' line.
std::string WatchdogText(const bypass::BypassStep& step)
{
    switch (step.effect) {
    case BypassWatchdogEffect::Stops:
        return "; the watchdog is stopped too";
    case BypassWatchdogEffect::StopsBypassWatchdog:
        return "; the bypass watchdog is stopped too, and the restart watchdog on the other chip "
               "keeps counting";
    case BypassWatchdogEffect::ForcesExpiry:
        return "; an armed watchdog was made to expire, with the action it was armed with";
    default:
        return "";
    }
}

std::string BoardName(int type) { return "board type " + std::to_string(type); }

// Where bypass on forces the watchdog's expiry, a watchdog armed for
// restart restarts the system at once. A new bypassctl knows the arming
// only from the chip: refuses unless --force where the chip says so, or
// runs and does not tell its action, or cannot be read.
void RequireNoForcedRestart(BoardSession& session, Report& report)
{
    const bypass::BoardRow* row = bypass::FindBoard(session.Type());
    const std::string refused
        = BoardName(session.Type()) + ": bypass on forces the watchdog to expire, and ";
    const std::string advice = "; nothing was switched. Stop the watchdog first, or give --force "
                               "to restart the system";
    if (!row->readWatchdog)
        throw CommandError{kExitUnsupported,
            refused + "whether it is armed for restart cannot be read back: the system may restart"
                + advice};
    bypass::WatchdogReadback chip;
    session.Look([&chip, row] {
        chip = row->readWatchdog();
        return 0;
    });
    if (!chip.enabled.value_or(true) || !chip.restarts.value_or(true))
        return;
    report.Set("armed_for_restart", chip.restarts ? Json(*chip.restarts) : Json(nullptr));
    throw CommandError{kExitUnsupported,
        refused
            + (chip.restarts ? std::string("the chip reads back a watchdog armed for restart: the "
                                           "system would restart")
                             : std::string("the chip reads back a running watchdog whose action it "
                                           "does not tell: the system may restart"))
            + advice};
}

} // namespace

void SwitchBypass(Context& context)
{
    const bool on = context.options.bypassOn;
    BoardSession session(context);
    Report& report = context.report;
    report.Set("bypass", on ? "on" : "off");
    if (session.Type() == 0)
        throw CommandError{kExitUnsupported, "board type 0 has no bypass hardware"};
    const bypass::BypassStep step = bypass::BypassWatchdogStep(session.Type(), on);
    report.Set("watchdog_effect", EffectName(step.effect));
    report.Set("watchdog_effect_text", step.what);
    report.Set("pending", step.effect == BypassWatchdogEffect::ArmsShortWatchdog);
    if (on && step.effect == BypassWatchdogEffect::ForcesExpiry && !context.options.force)
        RequireNoForcedRestart(session, report);
    const std::string text = RelaysText(on, step) + WatchdogText(step);
    if (on)
        session.Run({"EnableBypass", [](CBypassTool& tool) { return tool.EnableBypass(); }},
            "the relays switched anyway: " + text);
    else
        session.Run({"DisableBypass", [](CBypassTool& tool) { return tool.DisableBypass(); }},
            "the relays switched anyway: " + text);
    report.Say(text);
    session.ReportState();
}

} // namespace bypassctl
