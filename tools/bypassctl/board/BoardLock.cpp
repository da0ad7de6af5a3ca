#include "board/BoardLock.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>
#endif

namespace bypassctl {
namespace {

// Long enough for another process's single operation (the slowest board
// sequences take about a second), short enough for a person waiting.
constexpr auto kWait = std::chrono::seconds(2);
const char kLockFile[] = "bypassctl.lock";
const char kKeepaliveFile[] = "bypassctl-keepalive.pid";

std::string LockDirectory(bool simulated)
{
    if (simulated) {
        const char* chosen = std::getenv("BYPASSCTL_LOCK_DIR");
        if (chosen && *chosen)
            return chosen;
        std::error_code error;
        const std::filesystem::path temp = std::filesystem::temp_directory_path(error);
        return error ? std::string(".") : temp.string();
    }
#if defined(_WIN32)
    const char* data = std::getenv("ProgramData");
    return data && *data ? data : "C:\\ProgramData";
#else
    return "/run/lock";
#endif
}

std::string Join(const std::string& dir, const char* name)
{
    return (std::filesystem::path(dir) / name).string();
}

long ReadPid(const std::string& path)
{
    std::ifstream in(path);
    long pid = 0;
    return in >> pid ? pid : -1;
}

#if defined(_WIN32)

long OwnPid() { return static_cast<long>(GetCurrentProcessId()); }

// The file name of the program process runs, empty when it cannot be told.
std::wstring ProgramOf(HANDLE process)
{
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    if (!QueryFullProcessImageNameW(process, 0, path, &size))
        return L"";
    return std::filesystem::path(path).filename().wstring();
}

// A running process with this program's image name, whatever its folder.
bool IsRunningBypassctl(long pid)
{
    HANDLE process = OpenProcess(
        SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return false;
    const std::wstring program = ProgramOf(process);
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT && !program.empty()
        && _wcsicmp(program.c_str(), ProgramOf(GetCurrentProcess()).c_str()) == 0;
    CloseHandle(process);
    return running;
}

#else

long OwnPid() { return static_cast<long>(getpid()); }

// The name of the program a process runs, as the kernel keeps it from its
// executable's file name (readable for every user's processes, and unchanged
// when the file is replaced by an update); empty for no such process.
std::string ProgramOf(const std::string& process)
{
    std::ifstream comm("/proc/" + process + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// A running process of this same program: a pid left by a keepalive that
// died may since have been given to anything else.
bool IsRunningBypassctl(long pid)
{
    const std::string program = ProgramOf(std::to_string(pid));
    return !program.empty() && program == ProgramOf("self");
}

#endif

} // namespace

#if defined(_WIN32)

BoardLock::BoardLock(bool simulated)
    : m_dir(LockDirectory(simulated))
    , m_path(Join(m_dir, kLockFile))
    , m_mutex(CreateMutexA(nullptr, FALSE,
          simulated ? "Local\\bypassctl-simulated-board" : "Global\\bypassctl-board"))
{
}

BoardLock::~BoardLock()
{
    WithdrawKeepalive();
    if (m_mutex)
        CloseHandle(m_mutex);
}

// A mutex this process may not open (made by an administrator's process)
// is no lock to wait for: without those rights there is no port access
// either, and that is what the command reports.
long BoardLock::Acquire()
{
    if (!m_mutex)
        return 0;
    const DWORD waited = WaitForSingleObject(
        m_mutex, static_cast<DWORD>(std::chrono::milliseconds(kWait).count()));
    // An abandoned mutex was held by a process that ended: it is ours now.
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED)
        return ReadPid(m_path);
    std::ofstream(m_path) << OwnPid() << '\n';
    return 0;
}

void BoardLock::Release()
{
    if (m_mutex)
        ReleaseMutex(m_mutex);
}

#else

BoardLock::BoardLock(bool simulated)
    : m_dir(LockDirectory(simulated))
    , m_path(Join(m_dir, kLockFile))
    , m_fd(open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644))
{
    // Another user's lock file can still be locked through a read-only open.
    if (m_fd < 0)
        m_fd = open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
}

BoardLock::~BoardLock()
{
    WithdrawKeepalive();
    if (m_fd >= 0)
        close(m_fd);
}

// Without a lock file (no /run/lock on this system) there is nothing to
// wait for.
long BoardLock::Acquire()
{
    if (m_fd < 0)
        return 0;
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    while (flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        if (!held || std::chrono::steady_clock::now() >= deadline)
            return held ? ReadPid(m_path) : 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::string pid = std::to_string(OwnPid()) + "\n";
    // A read-only lock file still locks; only its holder stays unnamed.
    const bool named = ftruncate(m_fd, 0) == 0
        && pwrite(m_fd, pid.data(), pid.size(), 0) == static_cast<ssize_t>(pid.size());
    static_cast<void>(named);
    return 0;
}

void BoardLock::Release()
{
    if (m_fd >= 0)
        flock(m_fd, LOCK_UN);
}

#endif

long BoardLock::AdvertiseKeepalive()
{
    std::ofstream(Join(m_dir, kKeepaliveFile)) << OwnPid() << '\n';
    m_advertised = true;
    return OwnPid();
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
    return pid > 0 && pid != OwnPid() && IsRunningBypassctl(pid) ? pid : 0;
}

} // namespace bypassctl
