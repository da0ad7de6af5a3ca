#include "platform/SystemLock.h"

#include "platform/Files.h"
#include "platform/FilesLinux.h"
#include "platform/Process.h"

#include <cerrno>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace bypassctl {
namespace {

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

} // namespace

// No read-only fallback: a lock file this process may not open read-write
// is not one it can trust, and a lock silently skipped is no lock.
SystemLock::SystemLock(const std::string& path, bool /*simulated*/)
    : m_path(path)
    , m_problem()
    , m_handle(OpenOwnFile(path, m_problem))
{
}

SystemLock::~SystemLock()
{
    if (m_handle >= 0)
        close(Fd(m_handle));
}

long SystemLock::Take(std::chrono::milliseconds wait)
{
    if (m_handle < 0)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (flock(Fd(m_handle), LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        if (!held || std::chrono::steady_clock::now() >= deadline)
            return held ? ReadPid(m_path) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::string pid = std::to_string(OwnPid()) + "\n";
    if (ftruncate(Fd(m_handle), 0) == 0)
        static_cast<void>(pwrite(Fd(m_handle), pid.data(), pid.size(), 0));
    return 0;
}

void SystemLock::Release()
{
    if (m_handle >= 0)
        flock(Fd(m_handle), LOCK_UN);
}

} // namespace bypassctl
