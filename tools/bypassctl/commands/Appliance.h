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

} // namespace bypassctl
