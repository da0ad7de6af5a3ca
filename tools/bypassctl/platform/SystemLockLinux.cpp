#include "platform/SystemLock.h"

#include "platform/Files.h"
#include "platform/FilesLinux.h"
#include "platform/Process.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace bypassctl {
namespace {

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

// Who holds the flock on this file, as the kernel lists it ("1: FLOCK
// ADVISORY WRITE 1234 08:01:5678 0 EOF"): the lock file only names its last
// writer, and a holder that opened it read-only wrote nothing. 0 when not
// listed.
long FlockHolder(int fd)
{
    struct stat info;
    if (fstat(fd, &info) != 0)
        return 0;
    char device[48];
    std::snprintf(device, sizeof device, "%02x:%02x:%llu", major(info.st_dev), minor(info.st_dev),
        static_cast<unsigned long long>(info.st_ino));
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, file;
        fields >> number >> kind >> mode >> access >> pid >> file;
        if (kind == "FLOCK" && file == device && ParsePid(pid) != OwnPid())
            return ParsePid(pid);
    }
    return 0;
}

} // namespace

// No read-only fallback: a lock file this process may not open read-write
// is not one it can trust, and a lock silently skipped is no lock.
SystemLock::SystemLock(const std::string& path, const std::string& /*name*/, bool /*simulated*/)
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
            return held ? Holder() : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::string pid = std::to_string(OwnPid()) + "\n";
    if (ftruncate(Fd(m_handle), 0) == 0)
        static_cast<void>(pwrite(Fd(m_handle), pid.data(), pid.size(), 0));
    return 0;
}

// The file's last writer may be this process itself, when the holder
// could not write its own id.
long SystemLock::Holder() const
{
    if (const long listed = FlockHolder(Fd(m_handle)); listed > 0)
        return listed;
    const long written = ReadPid(m_path);
    return written == OwnPid() ? -1 : written;
}

void SystemLock::Release()
{
    if (m_handle >= 0)
        flock(Fd(m_handle), LOCK_UN);
}

} // namespace bypassctl
