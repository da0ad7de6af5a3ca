// What keepalive asks before each re-arm: is the host's own software still
// healthy? A check that cannot tell (a command that does not exist, hangs
// or is killed; a pid file that is missing or stale) counts as failed, with
// a reason that says which.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace bypassctl {

struct CheckVerdict {
    bool healthy;
    // Why it failed, in one line: "exited 1: <first line of its output>"
    // (just "exited 1" when it printed nothing), "not found", "timed out
    // after 2 s, killed", "killed by signal 9", "cannot run: <reason>";
    // "pid file /run/x.pid is missing", "pid file /run/x.pid does not hold a
    // process id", "pid file /run/x.pid is stale: process 1234 is not
    // running"; "no process suricata.exe is running". Empty when healthy.
    std::string why;
};

class HealthCheck {
public:
    virtual ~HealthCheck() = default;
    // How the log names it: "check 'pgrep suricata'", "pid file /run/x.pid",
    // "process suricata.exe".
    virtual std::string Name() const = 0;
    // Runs the check once; gives up after timeout (which then fails it).
    virtual CheckVerdict Run(std::chrono::milliseconds timeout) = 0;
};

// A command line run by the system's shell (sh -c on Linux, cmd /c on
// Windows), its input empty and its output and errors collected for the
// first line; exit status 0 is healthy. A timeout kills the shell with
// whatever it started. On Linux the check reaps its own shell: the caller
// must leave SIGCHLD at its default (not ignored), and its signal handlers
// only cut the check's waits short.
std::unique_ptr<HealthCheck> CommandCheck(const std::string& command);
// The process whose decimal pid the file holds is running. A file that is
// missing or holds anything but a positive decimal number fails.
std::unique_ptr<HealthCheck> PidFileCheck(const std::string& path);

using Checks = std::vector<std::unique_ptr<HealthCheck>>;

// keepalive's checks in the order the log names them: the commands, the
// pid files, then the image names ("suricata.exe", in any case: a process
// of that name is running; --process exists on Windows only).
Checks MakeChecks(const std::vector<std::string>& commands,
    const std::vector<std::string>& pidFiles, const std::vector<std::string>& images);

} // namespace bypassctl
