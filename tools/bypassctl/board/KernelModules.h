// Kernel watchdog drivers in the way of bypassctl's own watchdog commands.
#pragma once

#include "cli/Command.h"

namespace bypassctl {

// On Linux, warns of each loaded kernel watchdog driver that owns the same
// chip, and lists them in the report.
void WarnAboutKernelWatchdogs(Context& context);

} // namespace bypassctl
