#include "ServiceNotify.h"

#include <cstdint>
#include <systemd/sd-daemon.h>

namespace bypassctl {
namespace {

// A status line is one line: a newline would start another assignment.
std::string OneLine(const std::string& text) { return text.substr(0, text.find('\n')); }

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

} // namespace

void NotifyReady(const std::string& status)
{
    sd_notify(0, ("READY=1\nSTATUS=" + OneLine(status)).c_str());
}

void NotifyStatus(const std::string& status)
{
    sd_notify(0, ("STATUS=" + OneLine(status)).c_str());
}

void NotifyAlive()
{
    if (WatchdogExpected())
        sd_notify(0, "WATCHDOG=1");
}

void NotifyStopping() { sd_notify(0, "STOPPING=1"); }

} // namespace bypassctl
