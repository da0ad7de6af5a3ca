// What keepalive tells the service manager that started it. Built with
// libsystemd these go to systemd through sd_notify, and do nothing when the
// process was not started by systemd (no NOTIFY_SOCKET); built without it,
// or on Windows, they do nothing at all.
#pragma once

#include <string>

namespace bypassctl {

#if defined(BYPASSCTL_SYSTEMD)
// READY=1, with the status line that systemctl status shows.
void NotifyReady(const std::string& status);
// STATUS=: the latest event worth a look in systemctl status.
void NotifyStatus(const std::string& status);
// WATCHDOG=1, only where the unit set WatchdogSec: systemd restarts a
// keepalive whose loop stops going round.
void NotifyAlive();
// STOPPING=1: the watchdog is being stopped, which takes a few port accesses.
void NotifyStopping();
#else
inline void NotifyReady(const std::string&) { }
inline void NotifyStatus(const std::string&) { }
inline void NotifyAlive() { }
inline void NotifyStopping() { }
#endif

} // namespace bypassctl
