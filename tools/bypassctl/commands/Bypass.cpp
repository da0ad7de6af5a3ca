// bypass on | off: the relays that join the ports past this machine.
#include "board/BoardSession.h"

namespace bypassctl {

void SwitchBypass(Context& context)
{
    const bool on = context.options.bypassOn;
    BoardSession session(context);
    context.report.Set("bypass", on ? "on" : "off");
    if (session.Type() == 0)
        throw CommandError{kExitUnsupported, "board type 0 has no bypass hardware"};
    if (on)
        session.Run({"EnableBypass", [](CBypassTool& tool) { return tool.EnableBypass(); }});
    else
        session.Run({"DisableBypass", [](CBypassTool& tool) { return tool.DisableBypass(); }});
    context.report.Say(on ? "bypass on: the ports are joined past this machine"
                          : "bypass off: traffic passes through this machine");
    session.ReportState();
}

} // namespace bypassctl
