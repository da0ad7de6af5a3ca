#include "supervise/ServiceNotify.h"

#include <cstdint>
#include <systemd/sd-daemon.h>

namespace bypassctl {
namespace {

void Notify(const std::string& assignments) { sd_notify(0, assignments.c_str()); }

// The unit's WatchdogSec reaches the process as WATCHDOG_USEC; without it
// systemd expects no pings and they are not sent.
bool WatchdogExpected()
{
    static const bool expected = [] {
        std::uint64_t usec = 0;
        return sd_watchdog_enabled(0, &usec) > 0;
    }();
    return expected;
}

// systemctl status shows the latest event that is not routine as the unit's
// status line; READY=1 comes with the one that armed the watchdog.
class SystemdSupervisor : public Supervisor {
public:
    explicit SystemdSupervisor(Supervisor& log)
        : log_(log)
    {
    }
    void Log(Priority priority, const std::string& line) override
    {
        log_.Log(priority, line);
        if (priority <= Priority::Notice) {
            // one line: a newline would start another assignment
            latestEvent_ = line.substr(0, line.find('\n'));
            Notify("STATUS=" + latestEvent_);
        }
    }
    void Ready() override
    {
        log_.Ready();
        Notify("READY=1\nSTATUS=" + (latestEvent_.empty() ? "watchdog armed" : latestEvent_));
    }
    void Alive() override
    {
        log_.Alive();
        if (WatchdogExpected())
            Notify("WATCHDOG=1");
    }
    // The watchdog is being stopped, which takes a few port accesses.
    void Stopping() override
    {
        log_.Stopping();
        Notify("STOPPING=1");
    }

private:
    Supervisor& log_;
    std::string latestEvent_;
};

} // namespace

Supervisor& WithServiceManager(Supervisor& log)
{
    static SystemdSupervisor supervisor(log);
    return supervisor;
}

} // namespace bypassctl
