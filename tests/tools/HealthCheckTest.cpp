// The verdicts keepalive acts on before each re-arm: what a check command's
// exit, output, signal or hang, and a daemon's pid file, say of the host.
#include "HealthCheck.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace bypassctl {
namespace {

using namespace std::chrono_literals;

#if defined(_WIN32)
const long kOwnPid = static_cast<long>(GetCurrentProcessId());
#else
const long kOwnPid = static_cast<long>(getpid());
#endif

// A pid file of this test process's own, so that parallel runs do not share it.
std::string PidFile(const std::string& name, const char* content)
{
    const std::filesystem::path path = std::filesystem::temp_directory_path()
        / ("health-" + std::to_string(kOwnPid) + "-" + name + ".pid");
    std::filesystem::remove(path);
    if (content)
        std::ofstream(path) << content;
    return path.string();
}

TEST(HealthCheckTest, VerdictsOfCommandsAndPidFiles)
{
    const std::string missing = PidFile("missing", nullptr),
                      garbage = PidFile("garbage", "12abc\n"), group = PidFile("group", "0\n"),
                      stale = PidFile("stale", "2147483644\n"),
                      live = PidFile("live", (" " + std::to_string(kOwnPid) + "\n").c_str());
    struct Case {
        std::unique_ptr<HealthCheck> check;
        std::string why; // empty: healthy
    } cases[] = {
        {PidFileCheck(missing), "pid file " + missing + " is missing"},
        {PidFileCheck(garbage), "pid file " + garbage + " does not hold a process id"},
        {PidFileCheck(group), "pid file " + group + " does not hold a process id"},
        {PidFileCheck(stale), "pid file " + stale + " is stale: process 2147483644 is not running"},
        {PidFileCheck(live), ""},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.check->Name());
        const CheckVerdict verdict = c.check->Run(300ms);
        EXPECT_EQ(verdict.healthy, c.why.empty());
        EXPECT_EQ(verdict.why, c.why);
    }
    for (const std::string& path : {garbage, group, stale, live})
        std::filesystem::remove(path);
}

} // namespace
} // namespace bypassctl
