#include "Supervisor.h"

#include <ctime>
#include <iostream>

#include "ServiceNotify.h"

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

class StandardErrorLog : public Supervisor {
public:
    void Log(Priority priority, const std::string& line) override
    {
        std::cerr << '<' << static_cast<int>(priority) << '>' << UtcNow() << ' ' << line
                  << std::endl;
    }
};

} // namespace

Supervisor& ProcessSupervisor()
{
    static StandardErrorLog log;
    return WithServiceManager(log);
}

} // namespace bypassctl
