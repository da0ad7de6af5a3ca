#include "supervise/HealthCheck.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>

#include <tlhelp32.h>
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

// A look at a running check's output reads a bounded amount, so that
// endless output cannot hold the check past its deadline.
constexpr int kReadsPerLook = 16;
constexpr std::size_t kReadSize = 4096;

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

using Handle = std::unique_ptr<void, decltype(&CloseHandle)>;

std::wstring Wide(const std::string& utf8)
{
    const int size = static_cast<int>(utf8.size());
    std::wstring wide(
        static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0)),
        L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), static_cast<int>(wide.size()));
    return wide;
}

CheckVerdict CannotRun(DWORD error) { return Failed("cannot run: error " + std::to_string(error)); }

// cmd.exe of the system directory, not the first one on the search path;
// /d skips the AutoRun commands a user may have registered, and with /s
// the command between the outer quotes runs exactly as written.
bool CreateShell(const std::string& command, STARTUPINFOW& startup, PROCESS_INFORMATION& child)
{
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring shell = std::wstring(system, length) + L"\\cmd.exe";
    std::wstring line = L"cmd.exe /d /s /c \"" + Wide(command) + L"\"";
    return CreateProcessW(shell.c_str(), line.data(), nullptr, nullptr, TRUE,
        CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup, &child);
}

// The shell reads nothing, writes into output, and has no console window.
// It starts suspended and runs once it is in the job, so that a timeout can
// end whatever it starts. (Where the job cannot take it, a timeout ends the
// shell alone.)
DWORD StartShell(const std::string& command, HANDLE output, HANDLE job, HANDLE& process)
{
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
        &inheritable, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION child{};
    const bool created = CreateShell(command, startup, child);
    const DWORD error = created ? ERROR_SUCCESS : GetLastError();
    if (input != INVALID_HANDLE_VALUE)
        CloseHandle(input);
    if (!created)
        return error;
    AssignProcessToJobObject(job, child.hProcess);
    ResumeThread(child.hThread);
    CloseHandle(child.hThread);
    process = child.hProcess;
    return ERROR_SUCCESS;
}

void ReadAvailable(HANDLE pipe, FirstLine& output)
{
    char buffer[kReadSize];
    DWORD available = 0, got = 0;
    for (int reads = 0; reads < kReadsPerLook
         && PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0;
         ++reads) {
        if (!ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr))
            return;
        output.Add(buffer, got);
    }
}

// Collects the output while the shell runs; false when the deadline comes
// first. The shell's own end is what counts: what it left running may hold
// the pipe open for longer.
bool AwaitEnd(HANDLE process, HANDLE pipe, Clock::time_point deadline, FirstLine& output)
{
    while (WaitForSingleObject(process, static_cast<DWORD>(SliceUntil(deadline).count()))
        == WAIT_TIMEOUT) {
        ReadAvailable(pipe, output);
        if (Clock::now() >= deadline)
            return false;
    }
    ReadAvailable(pipe, output);
    return true;
}

void KillTree(HANDLE job, HANDLE process)
{
    constexpr UINT kKilled = 1;
    constexpr DWORD kEndMs = 1000;
    TerminateJobObject(job, kKilled);
    TerminateProcess(process, kKilled);
    WaitForSingleObject(process, kEndMs);
}

CheckVerdict EndVerdict(DWORD code, const FirstLine& output)
{
    // cmd's status for a command it cannot find.
    constexpr DWORD kNotFound = 9009;
    // A crash ends a process with its exception code (0xC0000005 and the
    // like), which reads best in hex.
    constexpr DWORD kExceptionCodes = 0xC0000000;
    if (code == kNotFound)
        return Failed("not found");
    if (code >= kExceptionCodes) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
        return ExitedWith(hex, output);
    }
    return code == 0 ? Healthy() : ExitedWith(std::to_string(code), output);
}

CheckVerdict Command::Run(std::chrono::milliseconds timeout)
{
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0))
        return CannotRun(GetLastError());
    const Handle pipe(readEnd, CloseHandle);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    const Handle job(CreateJobObjectW(nullptr, nullptr), CloseHandle);
    HANDLE started = nullptr;
    const DWORD error = StartShell(m_command, writeEnd, job.get(), started);
    CloseHandle(writeEnd);
    if (error != ERROR_SUCCESS)
        return CannotRun(error);
    const Handle process(started, CloseHandle);
    FirstLine output;
    if (!AwaitEnd(process.get(), readEnd, Clock::now() + timeout, output)) {
        KillTree(job.get(), process.get());
        return TimedOut(timeout);
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(process.get(), &code))
        return CannotRun(GetLastError());
    return EndVerdict(code, output);
}

class ProcessImage : public HealthCheck {
public:
    explicit ProcessImage(std::string image)
        : m_image(std::move(image))
    {
    }

    std::string Name() const override { return "process " + m_image; }

    CheckVerdict Run(std::chrono::milliseconds /*timeout*/) override
    {
        const HANDLE taken = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (taken == INVALID_HANDLE_VALUE)
            return Failed("cannot list processes: error " + std::to_string(GetLastError()));
        const Handle snapshot(taken, CloseHandle);
        const std::wstring wanted = Wide(m_image);
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(taken, &entry); more; more = Process32NextW(taken, &entry))
            if (CompareStringOrdinal(entry.szExeFile, -1, wanted.c_str(), -1, TRUE) == CSTR_EQUAL)
                return Healthy();
        return Failed("no process " + m_image + " is running");
    }

private:
    std::string m_image;
};

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

std::unique_ptr<HealthCheck> CommandCheck(const std::string& command)
{
    return std::make_unique<Command>(command);
}

std::unique_ptr<HealthCheck> PidFileCheck(const std::string& path)
{
    return std::make_unique<PidFile>(path);
}

#if defined(_WIN32)
std::unique_ptr<HealthCheck> ProcessCheck(const std::string& imageName)
{
    return std::make_unique<ProcessImage>(imageName);
}
#endif

} // namespace bypassctl
