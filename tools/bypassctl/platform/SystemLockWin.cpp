#include "platform/SystemLock.h"

#include "platform/Files.h"
#include "platform/Process.h"

#include <windows.h>

#include <fstream>

namespace bypassctl {
namespace {

HANDLE Mutex(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

} // namespace

SystemLock::SystemLock(const std::string& path, const std::string& name, bool simulated)
    : m_path(path)
    , m_handle(reinterpret_cast<std::intptr_t>(CreateMutexA(nullptr, FALSE,
          ((simulated ? "Local\\bypassctl-simulated-" : "Global\\bypassctl-") + name).c_str())))
{
}

SystemLock::~SystemLock()
{
    if (m_handle)
        CloseHandle(Mutex(m_handle));
}

// A mutex this process may not open (made by an administrator's process)
// is no lock to wait for: without those rights there is no port access
// either, and that is what the command reports.
long SystemLock::Take(std::chrono::milliseconds wait)
{
    if (!m_handle)
        return 0;
    const DWORD waited = WaitForSingleObject(Mutex(m_handle), static_cast<DWORD>(wait.count()));
    // An abandoned mutex was held by a process that ended: it is ours now.
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED)
        return Holder();
    std::ofstream(m_path) << OwnPid() << '\n';
    return 0;
}

// The file's last writer may be this process itself, when the holder
// could not write its own id.
long SystemLock::Holder() const
{
    const long written = ReadPid(m_path);
    return written == OwnPid() ? -1 : written;
}

void SystemLock::Release()
{
    if (m_handle)
        ReleaseMutex(Mutex(m_handle));
}

} // namespace bypassctl
