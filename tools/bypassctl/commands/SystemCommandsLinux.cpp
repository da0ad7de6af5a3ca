// Linux has no commands of its own: the appliance and keepalive's systemd
// unit need none beyond the common rows.
#include "cli/CommandTable.h"

namespace bypassctl {

std::span<const CommandRow> SystemCommands() { return {}; }

} // namespace bypassctl
