#include "supervise/HealthCheck.h"

#include "platform/Files.h"
#include "platform/Process.h"
#include "supervise/CheckRun.h"

#include <cerrno>
#include <cstring>

namespace bypassctl {
namespace {

class Command : public HealthCheck {
public:
    explicit Command(std::string command)
        : m_command(std::move(command))
    {
    }
    std::string Name() const override { return "check '" + m_command + "'"; }
    CheckVerdict Run(std::chrono::milliseconds timeout) override
    {
        return RunShell(m_command, timeout);
    }

private:
    std::string m_command;
};

std::string Unreadable(int error)
{
    switch (error) {
    case ENOENT:
        return " is missing";
    case ELOOP:
        return " is a symbolic link, not followed";
    case EINVAL:
        return " is not a regular file";
    default:
        return std::string(" cannot be read: ") + std::strerror(error);
    }
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
        if (!ReadPidText(m_path, text))
            return Failed(Name() + Unreadable(errno));
        const long pid = ParsePid(text);
        if (pid < 0)
            return Failed(Name() + " does not hold a process id");
        if (!IsRunning(pid))
            return Failed(Name() + " is stale: process " + std::to_string(pid) + " is not running");
        return Healthy();
    }

private:
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

Checks MakeChecks(const std::vector<std::string>& commands,
    const std::vector<std::string>& pidFiles, const std::vector<std::string>& images)
{
    Checks checks;
    for (const std::string& command : commands)
        checks.push_back(CommandCheck(command));
    for (const std::string& path : pidFiles)
        checks.push_back(PidFileCheck(path));
    AddImageNameChecks(checks, images);
    return checks;
}

} // namespace bypassctl
