#include "platform/SystemLock.h"

#include "platform/Files.h"
#include "platform/Process.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace bypassctl {
namespace {

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

} // namespace

SystemLock::SystemLock(const std::string& path, const std::string& /*name*/, bool /*simulated*/)
    : m_path(path)
    , m_handle(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644))
{
    // Another user's lock file can still be locked through a read-only open.
    if (m_handle < 0)
        m_handle = open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

SystemLock::~SystemLock()
{
    if (m_handle >= 0)
        close(Fd(m_handle));
}

// Without a lock file (no /run/lock on this system) there is nothing to
// wait for. A read-only lock file still locks; only its holder stays
// unnamed, as the failed write leaves it.
long SystemLock::Take(std::chrono::milliseconds wait)
{
    if (m_handle < 0)
        return 0;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (flock(Fd(m_handle), LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        if (!held || std::chrono::steady_clock::now() >= deadline)
            return held ? ReadPid(m_path) : 0;
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
