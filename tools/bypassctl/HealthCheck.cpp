#include "HealthCheck.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <signal.h>
#endif

namespace bypassctl {
namespace {

CheckVerdict Healthy() { return {true, {}}; }
CheckVerdict Failed(std::string why) { return {false, std::move(why)}; }

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

std::unique_ptr<HealthCheck> PidFileCheck(const std::string& path)
{
    return std::make_unique<PidFile>(path);
}

} // namespace bypassctl
