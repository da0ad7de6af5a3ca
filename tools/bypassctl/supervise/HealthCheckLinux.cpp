#include "supervise/CheckRun.h"

#include "portio/LinuxPortPath.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/io.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace bypassctl {
namespace {

// Between fork and exec only calls that are safe there. The shell reads
// nothing, writes into output, and starts with every signal keepalive
// catches, ignores or blocks back at its default. It leads a process group
// of its own, so that whatever it starts can be killed with it; it inherits
// no descriptor but its three, and no port access: iopl survives fork and
// exec, and a check has no business on the board's ports.
[[noreturn]] void ExecShell(char* const argv[], int output, bool dropPorts)
{
    setpgid(0, 0);
    struct sigaction defaults = {};
    defaults.sa_handler = SIG_DFL;
    for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTERM, SIGCHLD})
        sigaction(signal, &defaults, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const int input = open("/dev/null", O_RDONLY);
    if (input < 0 || dup2(input, STDIN_FILENO) < 0 || dup2(output, STDOUT_FILENO) < 0
        || dup2(output, STDERR_FILENO) < 0)
        _exit(126);
    close_range(STDERR_FILENO + 1, ~0U, 0);
    if (dropPorts)
        iopl(0);
    execve("/bin/sh", argv, environ);
    _exit(errno == ENOENT ? 127 : 126);
}

int SpawnShell(const std::string& command, int output, pid_t& pid)
{
    std::string sh = "sh", c = "-c", endOfOptions = "--", line = command;
    char* const argv[] = {sh.data(), c.data(), endOfOptions.data(), line.data(), nullptr};
    const bool dropPorts = bypass::PlatformPortPath() == bypass::PortPath::Iopl;
    pid = fork();
    if (pid == 0)
        ExecShell(argv, output, dropPorts);
    if (pid < 0)
        return errno;
    // Also here, so that a kill of the group cannot come before the child
    // made it.
    setpgid(pid, pid);
    return 0;
}

// The kernel's descriptor for the shell's end (Linux 5.3), so that a wait
// sleeps until the end or output; -1 where there is none, and the wait
// looks again every few milliseconds.
int EndDescriptor(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

// The shell has ended; it stays unreaped, so that its pid keeps naming its
// group until that has been killed.
bool HasEnded(pid_t pid)
{
    siginfo_t info = {};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0
        && info.si_pid == pid;
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
bool AwaitEnd(pid_t pid, int fd, Clock::time_point deadline, FirstLine& output)
{
    const int ended = EndDescriptor(pid);
    bool open = true;
    while (!HasEnded(pid)) {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        const auto wait = ended >= 0 ? left : SliceUntil(deadline);
        pollfd ready[] = {{open ? fd : -1, POLLIN, 0}, {ended, POLLIN, 0}};
        if (poll(ready, 2, static_cast<int>(wait.count())) > 0 && ready[0].revents)
            open = ReadAvailable(fd, output);
    }
    if (ended >= 0)
        close(ended);
    ReadAvailable(fd, output);
    return HasEnded(pid);
}

// After every run, passing or not, the shell's whole group goes: a check
// leaves nothing behind. Until the shell is reaped its pid names its
// group, which no other process can have taken.
int KillGroupAndReap(pid_t pid)
{
    kill(-pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    return status;
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
    const bool ended = AwaitEnd(pid, pipeEnds[0], Clock::now() + timeout, output);
    close(pipeEnds[0]);
    const int status = KillGroupAndReap(pid);
    return ended ? EndVerdict(status, output) : TimedOut(timeout);
}

// keepalive has no --process here: images is always empty.
void AddImageNameChecks(std::vector<std::unique_ptr<HealthCheck>>& /*checks*/,
    const std::vector<std::string>& /*images*/)
{
}

} // namespace bypassctl
