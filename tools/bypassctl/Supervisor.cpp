#include "Supervisor.h"

#include "ServiceNotify.h"

#include <ctime>
#include <iostream>

namespace bypassctl {
namespace {

// "2026-12-06T03:50:00Z"
std::string UtcNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
#if defined(_WIN32)
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

// Under systemd the service manager hears the events too: the latest one
// that is not routine becomes the unit's status line.
class StandardErrorLog : public Supervisor {
public:
    void Log(Priority priority, const std::string& line) override
    {
        std::cerr << '<' << static_cast<int>(priority) << '>' << UtcNow() << ' ' << line
                  << std::endl;
        if (priority <= Priority::Notice) {
            latestEvent_ = line;
            NotifyStatus(line);
        }
    }
    void Ready() override { NotifyReady(latestEvent_.empty() ? "watchdog armed" : latestEvent_); }
    void Alive() override { NotifyAlive(); }
    void Stopping() override { NotifyStopping(); }

private:
    std::string latestEvent_;
};

} // namespace

Supervisor& ProcessSupervisor()
{
    static StandardErrorLog log;
    return log;
}

} // namespace bypassctl
