// The verdicts keepalive acts on before each re-arm: what a check command's
// exit, output, signal or hang, and a daemon's pid file, say of the host.
#include "HealthCheck.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>
#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace bypassctl {
namespace {

using namespace std::chrono_literals;

TEST(HealthCheckTest, VerdictsOfCommandsAndPidFiles)
{
    // Pid files of this test process's own, so that parallel runs do not share them.
    const std::string ownPid = std::to_string(getpid());
    const auto dir = std::filesystem::temp_directory_path() / ("health-" + ownPid);
    std::filesystem::create_directories(dir);
    const auto pidFile = [&dir](const char* name, const std::string& content) {
        const std::string path = (dir / name).string();
        if (!content.empty())
            std::ofstream(path) << content;
        return path;
    };
    const std::string missing = pidFile("missing", ""), garbage = pidFile("garbage", "12abc\n"),
                      group = pidFile("group", "0\n"), stale = pidFile("stale", "2147483644\n"),
                      live = pidFile("live", " " + ownPid + "\n");
    struct Case {
        std::unique_ptr<HealthCheck> check;
        std::string why; // empty: healthy
    } cases[] = {
#if !defined(_WIN32)
        {CommandCheck("exit 0"), ""},
        {CommandCheck("echo first>&2&& echo second&& exit 3"), "exited 3: first"},
        {CommandCheck("no-such-command-xyz"), "not found"},
        {CommandCheck("kill -9 $$"), "killed by signal 9"},
        // The shell's end counts, not that of what it left running.
        {CommandCheck("sleep 5 & exit 4"), "exited 4"},
        {CommandCheck("sleep 10; exit 0"), "timed out after 0.3 s, killed"},
#endif
        {PidFileCheck(missing), "pid file " + missing + " is missing"},
        {PidFileCheck(garbage), "pid file " + garbage + " does not hold a process id"},
        {PidFileCheck(group), "pid file " + group + " does not hold a process id"},
        {PidFileCheck(stale), "pid file " + stale + " is stale: process 2147483644 is not running"},
        {PidFileCheck(live), ""},
    };
#if !defined(_WIN32)
    const auto openFiles
        = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    const auto filesBefore = openFiles();
#endif
    for (Case& c : cases) {
        SCOPED_TRACE(c.check->Name());
        const auto start = std::chrono::steady_clock::now();
        const CheckVerdict verdict = c.check->Run(300ms);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
        EXPECT_EQ(verdict.healthy, c.why.empty());
        EXPECT_EQ(verdict.why, c.why);
    }
#if !defined(_WIN32)
    // Every shell reaped, every pipe closed, whatever the verdict.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(openFiles(), filesBefore);
#endif
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace bypassctl
