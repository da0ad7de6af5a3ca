#include "commands/KeepalivePlan.h"

#include "commands/WatchdogOperations.h"
#include "platform/Files.h"
#include "platform/Process.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace bypassctl {
namespace {

// What one round must fit in: the hardware's count and, under systemd with
// WatchdogSec, the service manager's, which keepalive pings once a round.
struct RoundLimit {
    int seconds = 0;
    std::string text; // "the timeout of 30 s", "systemd's WatchdogSec of 10 s"
};

// "the timeout of 30 s", or "the 16 s the board may count for the timeout
// of 30 s" where the hardware may count less than asked.
std::string HardwareLimit(const Options& options, const TimeoutVerdict& timeout)
{
    const std::string asked = "the timeout of " + std::to_string(options.timeout) + " s";
    if (timeout.hardwareSeconds >= options.timeout)
        return asked;
    return "the " + std::to_string(timeout.hardwareSeconds) + " s the board may count for " + asked;
}

// systemd hands its WatchdogSec to the process it meant it for; 0 without.
int ServiceWatchdogSeconds()
{
    const char* usec = std::getenv("WATCHDOG_USEC");
    const char* pid = std::getenv("WATCHDOG_PID");
    if (!usec || (pid && ParsePid(pid) != OwnPid()))
        return 0;
    const long long seconds = std::strtoll(usec, nullptr, 10) / 1000000;
    return static_cast<int>(std::clamp<long long>(seconds, 0, INT_MAX));
}

RoundLimit LimitOfRound(const Options& options, const TimeoutVerdict& timeout)
{
    const int service = ServiceWatchdogSeconds();
    if (service > 0 && service < timeout.hardwareSeconds)
        return {service, "systemd's WatchdogSec of " + std::to_string(service) + " s"};
    return {timeout.hardwareSeconds, HardwareLimit(options, timeout)};
}

// Default a third of the round's limit; it must leave time to re-arm
// before expiry, also on a board whose code rounds the timeout down.
int KeepAliveInterval(const Options& options, const RoundLimit& limit)
{
    const long long interval
        = options.interval != kNotGiven ? options.interval : std::max(1, limit.seconds / 3);
    if (interval >= 1 && interval < limit.seconds)
        return static_cast<int>(interval);
    throw CommandError{kExitUsage,
        "interval " + std::to_string(interval) + " s must be at least 1 s and shorter than "
            + limit.text};
}

bool HasChecks(const Options& options)
{
    return !options.checks.empty() || !options.pidFiles.empty() || !options.processes.empty();
}

// The re-arm comes after the checks, so the interval and checks that take
// their whole budget must fit inside the round's limit. By default half
// the interval, and no more than half of what the interval leaves of the
// limit: a default always fits.
int CheckBudgetMs(const Options& options, const RoundLimit& limit, int interval)
{
    if (!HasChecks(options) && options.checkTimeout == kNotGiven)
        return 0;
    if (options.checkTimeout == kNotGiven)
        return std::min(interval, limit.seconds - interval) * 500;
    const long long given = options.checkTimeout;
    if (given < 1 || given >= interval)
        throw CommandError{kExitUsage,
            "--check-timeout " + std::to_string(given)
                + " s must be at least 1 s and shorter than the interval of "
                + std::to_string(interval) + " s"};
    if (interval + given >= limit.seconds)
        throw CommandError{kExitUsage,
            "interval " + std::to_string(interval) + " s plus --check-timeout "
                + std::to_string(given) + " s must be shorter than " + limit.text
                + ": a re-arm must land before expiry even when the checks take their whole time"};
    return static_cast<int>(given) * 1000;
}

int MaxFailures(const Options& options)
{
    if (options.maxFailures < 1)
        throw CommandError{kExitUsage,
            "max failures " + std::to_string(options.maxFailures)
                + " must be at least 1 (the failed rounds in a row that stop the re-arming)"};
    return static_cast<int>(std::min<long long>(options.maxFailures, INT_MAX));
}

int StartGrace(const Options& options)
{
    if (options.startGrace < 0)
        throw CommandError{kExitUsage,
            "--start-grace " + std::to_string(options.startGrace) + " must be 0 or more seconds"};
    return static_cast<int>(std::min<long long>(options.startGrace, INT_MAX));
}

} // namespace

KeepalivePlan PlanKeepalive(const Options& options, BoardSession& session)
{
    KeepalivePlan plan;
    plan.timeout = PrepareArming(options, session);
    const RoundLimit limit = LimitOfRound(options, plan.timeout);
    plan.interval = KeepAliveInterval(options, limit);
    plan.checkBudgetMs = CheckBudgetMs(options, limit, plan.interval);
    plan.maxFailures = MaxFailures(options);
    plan.startGrace = StartGrace(options);
    return plan;
}

} // namespace bypassctl
