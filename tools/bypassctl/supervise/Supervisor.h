// Whoever watches keepalive: the system's log, which gets one line per event,
// and, where keepalive runs as a service, the service manager, which hears
// when it is ready, that it is still alive, and when it stops.
#pragma once

#include <ctime>
#include <string>

namespace bypassctl {

// syslog's priorities; journald reads them from a "<N>" prefix on a line.
enum class Priority { Error = 3, Warning = 4, Notice = 5, Debug = 7 };

class Supervisor {
public:
    virtual ~Supervisor() = default;
    // One event: armed, a check failing, re-arming stopped, recovery, expiry
    // expected, stop. The line carries no prefix or timestamp: the sink adds
    // what its log needs.
    virtual void Log(Priority priority, const std::string& line) = 0;
    // The watchdog is armed and keepalive re-arms it from now on.
    virtual void Ready() { }
    // keepalive's loop went round once (a service manager's watchdog ping).
    virtual void Alive() { }
    // keepalive was asked to stop and is stopping.
    virtual void Stopping() { }
};

// The process's own: lines on standard error, each "<N>" then a UTC time
// stamp, for journald or a terminal.
Supervisor& ProcessSupervisor();

// "2026-12-06T03:50:00Z", the form of the log's time stamps.
std::string UtcTime(std::time_t when);

} // namespace bypassctl
