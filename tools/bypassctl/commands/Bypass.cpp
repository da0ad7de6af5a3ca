// bypass on | off: the relays that join the ports past this machine.
#include "board/BoardSession.h"

#include "boards/BoardTable.h"

namespace bypassctl {

void SwitchBypass(Context& context)
{
    const bool on = context.options.bypassOn;
    BoardSession session(context);
    context.report.Set("bypass", on ? "on" : "off");
    if (session.Type() == 0)
        throw CommandError{kExitUnsupported, "board type 0 has no bypass hardware"};
    const bypass::BoardRow& row = *bypass::FindBoard(session.Type());
    const bypass::BypassStep& step = on ? row.bypassOn : row.bypassOff;
    session.RequireNoKeepalive(std::string(on ? "EnableBypass: " : "DisableBypass: ") + step.what
        + (on ? "; at its next round keepalive re-arms the watchdog, which on most boards takes "
                "the ports out of bypass again"
              : "; at its next round keepalive re-arms the watchdog"));
    if (on)
        session.Run({"EnableBypass", [](CBypassTool& tool) { return tool.EnableBypass(); }});
    else
        session.Run({"DisableBypass", [](CBypassTool& tool) { return tool.DisableBypass(); }});
    context.report.Say(on ? "bypass on: the ports are joined past this machine"
                          : "bypass off: traffic passes through this machine");
    session.ReportState();
}

} // namespace bypassctl
