#include "HealthCheck.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace bypassctl {
namespace {

CheckVerdict Healthy() { return {true, {}}; }
CheckVerdict Failed(std::string why) { return {false, std::move(why)}; }

#if !defined(_WIN32)
using Clock = std::chrono::steady_clock;

// What a failed check's log line quotes of its output: the first line that
// says something, cut to a log line's length. The rest is read and dropped,
// so that a chatty command never blocks on a full pipe.
class FirstLine {
public:
    void Add(const char* data, std::size_t size)
    {
        for (std::size_t i = 0; i < size && !m_complete; ++i) {
            if (data[i] == '\n' || data[i] == '\r')
                m_complete = !m_text.empty();
            else if (m_text.size() < kMaxLength)
                m_text += data[i];
        }
    }
    const std::string& Text() const { return m_text; }

private:
    static constexpr std::size_t kMaxLength = 200;
    std::string m_text;
    bool m_complete = false;
};

CheckVerdict ExitedWith(const std::string& code, const FirstLine& output)
{
    return Failed("exited " + code + (output.Text().empty() ? "" : ": " + output.Text()));
}

CheckVerdict TimedOut(std::chrono::milliseconds timeout)
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", static_cast<double>(timeout.count()) / 1000);
    return Failed(std::string("timed out after ") + seconds + " s, killed");
}

// How long to wait for the next sign of a running check: short, so that
// its end is noticed within a few milliseconds, and never past the deadline.
std::chrono::milliseconds SliceUntil(Clock::time_point deadline)
{
    constexpr std::chrono::milliseconds kSlice(10);
    const auto left
        = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return std::max(std::chrono::milliseconds(0), std::min(kSlice, left));
}

class Command : public HealthCheck {
public:
    explicit Command(std::string command)
        : m_command(std::move(command))
    {
    }
    std::string Name() const override { return "check '" + m_command + "'"; }
    CheckVerdict Run(std::chrono::milliseconds timeout) override;

private:
    std::string m_command;
};
#endif

#if defined(_WIN32)

// A process this account may not open (another user's service) is running:
// only a process that exists can refuse access.
bool IsRunning(long pid)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

#else

// EPERM: the process exists but belongs to another user.
bool IsRunning(long pid) { return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

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

// Reads what the pipe holds now, in a bounded number of reads so that
// endless output cannot hold the check past its deadline; false once every
// writer has closed it.
bool ReadAvailable(int fd, FirstLine& output)
{
    constexpr int kReads = 16;
    char buffer[4096];
    for (int reads = 0; reads < kReads; ++reads) {
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

CheckVerdict Command::Run(std::chrono::milliseconds timeout)
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        return Failed(std::string("cannot run: ") + std::strerror(errno));
    pid_t pid = 0;
    const int error = SpawnShell(m_command, pipeEnds[1], pid);
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

#endif

// The pid of a daemon's pid file: decimal digits, optionally surrounded by
// white space ("1234\n"). Anything else is no pid at all, -1: in particular
// 0 and negative numbers, which kill() would take for a process group or
// for every process.
long ParsePid(const std::string& text)
{
    std::size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    constexpr std::size_t kMaxDigits = 10;
    if (begin == end || end - begin > kMaxDigits)
        return -1;
    long long pid = 0;
    for (std::size_t i = begin; i < end; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return -1;
        pid = pid * 10 + (text[i] - '0');
    }
    return pid > 0 && pid <= INT_MAX ? static_cast<long>(pid) : -1;
}

class PidFile : public HealthCheck {
public:
    explicit PidFile(std::string path)
        : m_path(std::move(path))
    {
    }

    std::string Name() const override { return "pid file " + m_path; }

    CheckVerdict Run(std::chrono::milliseconds /*timeout*/) override
    {
        std::string text;
        if (!Read(text))
            return Failed(errno == ENOENT ? Name() + " is missing"
                                          : Name() + " cannot be read: " + std::strerror(errno));
        const long pid = ParsePid(text);
        if (pid < 0)
            return Failed(Name() + " does not hold a process id");
        if (!IsRunning(pid))
            return Failed(Name() + " is stale: process " + std::to_string(pid) + " is not running");
        return Healthy();
    }

private:
    // A pid file is a line; more than a few dozen bytes is not one.
    bool Read(std::string& text) const
    {
        std::FILE* file = std::fopen(m_path.c_str(), "rb");
        if (!file)
            return false;
        char buffer[64];
        const std::size_t length = std::fread(buffer, 1, sizeof buffer, file);
        const bool failed = std::ferror(file) != 0;
        const int error = errno;
        std::fclose(file);
        errno = error;
        text.assign(buffer, length);
        return !failed;
    }

    std::string m_path;
};

} // namespace

#if !defined(_WIN32)
std::unique_ptr<HealthCheck> CommandCheck(const std::string& command)
{
    return std::make_unique<Command>(command);
}
#endif

std::unique_ptr<HealthCheck> PidFileCheck(const std::string& path)
{
    return std::make_unique<PidFile>(path);
}

} // namespace bypassctl
