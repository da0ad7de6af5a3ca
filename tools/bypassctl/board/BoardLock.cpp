#include "board/BoardLock.h"

#include "platform/Files.h"
#include "platform/Process.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace bypassctl {
namespace {

// Long enough for another process's single operation (the slowest board
// sequences take about a second), short enough for a person waiting.
constexpr auto kWait = std::chrono::seconds(2);
const char kLockFile[] = "bypassctl.lock";
const char kKeepaliveFile[] = "bypassctl-keepalive.pid";

std::string LockDirectory(bool simulated)
{
    if (!simulated)
        return SystemLockDirectory();
    const char* chosen = std::getenv("BYPASSCTL_LOCK_DIR");
    return chosen && *chosen ? chosen : UserLockDirectory();
}

std::string Join(const std::string& dir, const char* name)
{
    return (std::filesystem::path(dir) / name).string();
}

} // namespace

BoardLock::BoardLock(bool simulated)
    : m_dir(LockDirectory(simulated))
    , m_path(Join(m_dir, kLockFile))
    , m_lock(m_path, simulated)
{
}

BoardLock::~BoardLock() { WithdrawKeepalive(); }

long BoardLock::Acquire() { return m_lock.Take(kWait); }

void BoardLock::Release() { m_lock.Release(); }

std::string BoardLock::AdvertiseKeepalive()
{
    const std::string problem
        = WriteOwnFile(Join(m_dir, kKeepaliveFile), std::to_string(OwnPid()) + "\n");
    m_advertised = problem.empty();
    return problem;
}

// Only this process's own advertisement: a newer keepalive may have
// replaced it.
void BoardLock::WithdrawKeepalive()
{
    if (m_advertised && ReadPid(Join(m_dir, kKeepaliveFile)) == OwnPid())
        std::remove(Join(m_dir, kKeepaliveFile).c_str());
}

long BoardLock::RunningKeepalive() const
{
    const long pid = ReadPid(Join(m_dir, kKeepaliveFile));
    return pid > 0 && pid != OwnPid() && IsRunningThisProgram(pid) ? pid : 0;
}

} // namespace bypassctl
