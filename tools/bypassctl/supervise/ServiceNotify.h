// The service manager that started keepalive hears what its log hears, and
// that it is ready, alive and stopping. Built with libsystemd that is systemd,
// through sd_notify, which does nothing when the process was not started by
// systemd (no NOTIFY_SOCKET); built without it, or on Windows, there is none.
#pragma once

#include "supervise/Supervisor.h"

namespace bypassctl {

#if defined(BYPASSCTL_SYSTEMD)
// The log, with systemd told as well. One per process: the first log given
// is the one it keeps.
Supervisor& WithServiceManager(Supervisor& log);
#else
inline Supervisor& WithServiceManager(Supervisor& log) { return log; }
#endif

} // namespace bypassctl
