// bypassctl appliance: a simulated board that lives in real time and serves
// the driver protocol, so that commands in other processes and host
// programs linked against the library can drive it as they would the board.
#pragma once

#include "cli/Command.h"

namespace CLI {
class App;
}

namespace bypassctl {

void AddApplianceOptions(CLI::App& command, Options& options);
void RunAppliance(Context& context);

// Makes this process use the appliance of --appliance, or else of
// BYPASSTOOL_APPLIANCE, unless --simulate names a board of its own. Exit 3
// when it does not answer, exit 2 with both --appliance and --simulate.
void UseApplianceOf(const Options& options);

} // namespace bypassctl
