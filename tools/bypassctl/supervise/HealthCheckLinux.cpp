#include "supervise/CheckRun.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace bypassctl {
namespace {

// The shell reads nothing, writes into output, and starts with every signal
// keepalive catches, ignores or blocks back at its default. It leads a
// process group of its own, so that a timeout kills whatever it started.
int SpawnShell(const std::string& command, int output, pid_t& pid)
{
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&files, output, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&files, output, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTERM, SIGCHLD})
        sigaddset(&defaults, signal);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    std::string sh = "sh", c = "-c", endOfOptions = "--", line = command;
    char* const argv[] = {sh.data(), c.data(), endOfOptions.data(), line.data(), nullptr};
    const int error = posix_spawn(&pid, "/bin/sh", &files, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    return error;
}

// Reads what the pipe holds now; false once every writer has closed it.
bool ReadAvailable(int fd, FirstLine& output)
{
    char buffer[kReadSize];
    for (int reads = 0; reads < kReadsPerLook; ++reads) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got == 0)
            return false;
        if (got > 0)
            output.Add(buffer, static_cast<std::size_t>(got));
        else if (errno != EINTR)
            return errno == EAGAIN;
    }
    return true;
}

// Collects the output while the shell runs; false when the deadline comes
// first. A signal keepalive catches only cuts a wait short. The shell's
// own end is what counts: what it left running in the background may hold
// the pipe open for longer.
bool AwaitEnd(pid_t pid, int fd, Clock::time_point deadline, FirstLine& output, int& status)
{
    bool open = true;
    while (waitpid(pid, &status, WNOHANG) != pid) {
        const auto slice = SliceUntil(deadline);
        if (slice.count() == 0)
            return false;
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, open ? 1 : 0, static_cast<int>(slice.count())) > 0)
            open = ReadAvailable(fd, output);
    }
    ReadAvailable(fd, output);
    return true;
}

// Until the shell is reaped its pid names its group, which no other
// process can have taken.
void KillGroup(pid_t pid)
{
    kill(-pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) { }
}

CheckVerdict EndVerdict(int status, const FirstLine& output)
{
    if (WIFSIGNALED(status))
        return Failed("killed by signal " + std::to_string(WTERMSIG(status)));
    // The shell's status for a command it cannot find.
    constexpr int kNotFound = 127;
    const int code = WEXITSTATUS(status);
    if (code == kNotFound)
        return Failed("not found");
    return code == 0 ? Healthy() : ExitedWith(std::to_string(code), output);
}

} // namespace

CheckVerdict RunShell(const std::string& command, std::chrono::milliseconds timeout)
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        return Failed(std::string("cannot run: ") + std::strerror(errno));
    pid_t pid = 0;
    const int error = SpawnShell(command, pipeEnds[1], pid);
    close(pipeEnds[1]);
    if (error != 0) {
        close(pipeEnds[0]);
        return Failed(
            error == ENOENT ? "not found" : std::string("cannot run: ") + std::strerror(error));
    }
    fcntl(pipeEnds[0], F_SETFL, O_NONBLOCK);
    FirstLine output;
    int status = 0;
    const bool ended = AwaitEnd(pid, pipeEnds[0], Clock::now() + timeout, output, status);
    close(pipeEnds[0]);
    if (!ended) {
        KillGroup(pid);
        return TimedOut(timeout);
    }
    return EndVerdict(status, output);
}

// keepalive has no --process here: images is always empty.
void AddImageNameChecks(std::vector<std::unique_ptr<HealthCheck>>& /*checks*/,
    const std::vector<std::string>& /*images*/)
{
}

} // namespace bypassctl
