// What keepalive hears before each re-arm from check commands and pid files.
#include "supervise/HealthCheck.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>
#if !defined(_WIN32)
#include <sys/stat.h>
#include <sys/wait.h>
#endif

namespace bypassctl {
namespace {

using namespace std::chrono_literals;

// Wine takes half a second or more to start cmd.exe on a busy machine.
#if defined(_WIN32)
constexpr auto kTimeout = 4s;
#else
constexpr auto kTimeout = 300ms;
#endif

TEST(HealthCheckTest, VerdictsOfCommandsAndPidFiles)
{
    // Pid files of this test process's own, so that parallel runs do not share them.
    const std::string pid = std::to_string(getpid());
    const auto dir = std::filesystem::temp_directory_path() / ("health-" + pid);
    std::filesystem::create_directories(dir);
    const auto pidFile = [&dir](const char* name, const std::string& content) {
        std::ofstream(dir / name) << content;
        return (dir / name).string();
    };
    const std::string missing = (dir / "missing").string(), hung = (dir / "hung").string(),
                      left = (dir / "left").string(), fifo = (dir / "fifo").string(),
                      link = (dir / "link").string(), garbage = pidFile("garbage", "12abc\n"),
                      zero = pidFile("zero", "0\n"), stale = pidFile("stale", "2147483644\n"),
                      live = pidFile("live", pid + "\n ");
#if !defined(_WIN32)
    mkfifo(fifo.c_str(), 0600);
    std::filesystem::create_symlink(live, link);
    const int inherited = dup(STDIN_FILENO);
#endif
    // A check, and why it fails (empty: it passes).
    std::pair<std::unique_ptr<HealthCheck>, std::string> cases[] = {
        {CommandCheck("exit 0"), ""},
        {CommandCheck("echo first>&2&& echo second&& exit 3"), "exited 3: first"},
        {CommandCheck("no-such-command-xyz"), "not found"},
    // A hung check is killed with whatever it started. The shell's own end
    // counts, not that of what it left running.
#if defined(_WIN32)
        {CommandCheck("ping -n 10 127.0.0.1 >NUL"), "timed out after 4 s, killed"},
        {std::move(MakeChecks({}, {}, {"PING.EXE"})[0]), "no process PING.EXE is running"},
        {std::move(MakeChecks({}, {}, {"UNIT_TESTS.EXE"})[0]), ""},
#else
        {CommandCheck("kill -9 $$"), "killed by signal 9"},
        {CommandCheck("sleep 5 & exit 4"), "exited 4"},
        {CommandCheck("echo $$ >" + hung + "; sleep 10"), "timed out after 0.3 s, killed"},
        {CommandCheck("! grep -qs \") [^Z] [0-9]* $(cat " + hung + ") \" /proc/[0-9]*/stat"), ""},
        // A passing check's leftovers go too; it inherits no descriptor.
        {CommandCheck("echo $$ >" + left + "; sleep 10 >/dev/null & exit 0"), ""},
        {CommandCheck("! grep -qs \") [^Z] [0-9]* $(cat " + left + ") \" /proc/[0-9]*/stat"), ""},
        {CommandCheck("test ! -e /proc/$$/fd/" + std::to_string(inherited)), ""},
        // A FIFO would block an open; a link is not followed.
        {PidFileCheck(fifo), "pid file " + fifo + " is not a regular file"},
        {PidFileCheck(link), "pid file " + link + " is a symbolic link, not followed"},
#endif
        {PidFileCheck(missing), "pid file " + missing + " is missing"},
        {PidFileCheck(garbage), "pid file " + garbage + " does not hold a process id"},
        {PidFileCheck(zero), "pid file " + zero + " does not hold a process id"},
        {PidFileCheck(stale), "pid file " + stale + " is stale: process 2147483644 is not running"},
        {PidFileCheck(live), ""},
    };
#if !defined(_WIN32)
    const auto openFiles
        = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    const auto filesBefore = openFiles();
#endif
    for (auto& [check, why] : cases) {
        SCOPED_TRACE(check->Name());
        const auto start = std::chrono::steady_clock::now();
        const CheckVerdict verdict = check->Run(kTimeout);
        EXPECT_LT(std::chrono::steady_clock::now() - start, kTimeout + 2s);
        EXPECT_EQ(verdict.healthy, why.empty());
        EXPECT_EQ(verdict.why, why);
    }
#if !defined(_WIN32)
    // Every shell reaped, every pipe closed, whatever the verdict.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(openFiles(), filesBefore);
    close(inherited);
#endif
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace bypassctl
