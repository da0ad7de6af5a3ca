// What keepalive asks before each re-arm: is the host's own software still
// healthy? A check that cannot tell (a command that does not exist, hangs
// or is killed; a pid file that is missing or stale) counts as failed, with
// a reason that says which.
#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace bypassctl {

struct CheckVerdict {
    bool healthy;
    // Why it failed, in one line: "exited 1: <first line of its output>",
    // "not found", "timed out after 2 s, killed", "killed by signal 9",
    // "pid file /run/x.pid is missing", "pid file /run/x.pid is stale:
    // process 1234 is not running". Empty when healthy.
    std::string why;
};

class HealthCheck {
public:
    virtual ~HealthCheck() = default;
    // How the log names it: "check 'pgrep suricata'", "pid file /run/x.pid".
    virtual std::string Name() const = 0;
    // Runs the check once; gives up after timeout (which then fails it).
    virtual CheckVerdict Run(std::chrono::milliseconds timeout) = 0;
};

// A command line run by the system's shell (sh -c on Linux, cmd /c on
// Windows); exit status 0 is healthy.
std::unique_ptr<HealthCheck> CommandCheck(const std::string& command);
// The process whose decimal pid the file holds is running.
std::unique_ptr<HealthCheck> PidFileCheck(const std::string& path);
#if defined(_WIN32)
// A process with this image name ("suricata.exe") is running.
std::unique_ptr<HealthCheck> ProcessCheck(const std::string& imageName);
#endif

} // namespace bypassctl
