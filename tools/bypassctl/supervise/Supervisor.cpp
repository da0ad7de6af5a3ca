#include "supervise/Supervisor.h"

#include "platform/Process.h"

#include <iostream>

#include "supervise/ServiceNotify.h"

namespace bypassctl {
namespace {

class StandardErrorLog : public Supervisor {
public:
    void Log(Priority priority, const std::string& line) override
    {
        std::cerr << '<' << static_cast<int>(priority) << '>' << UtcTime(std::time(nullptr)) << ' '
                  << line << std::endl;
    }
};

} // namespace

std::string UtcTime(std::time_t when)
{
    const std::tm utc = UtcCalendar(when);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

Supervisor& ProcessSupervisor()
{
    static StandardErrorLog log;
    return WithServiceManager(log);
}

} // namespace bypassctl
