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
const char kCountFile[] = "bypassctl-keepalive.count";

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
    , m_simulated(simulated)
    , m_lock(m_path, "board", simulated)
{
}

// An ending keepalive empties its file while it still holds it: the id of a
// process that is gone names nobody.
BoardLock::~BoardLock()
{
    if (!m_keepalive)
        return;
    WriteOwnFile(Join(m_dir, kKeepaliveFile), "");
    m_keepalive->Release();
}

long BoardLock::Acquire() { return m_lock.Take(kWait); }

void BoardLock::Release() { m_lock.Release(); }

// Not waited for: the owner holds it until it ends.
long BoardLock::ClaimKeepalive(std::string& problem)
{
    auto claim
        = std::make_unique<SystemLock>(Join(m_dir, kKeepaliveFile), "keepalive", m_simulated);
    const long owner = claim->Take(std::chrono::milliseconds(0));
    problem = claim->Problem();
    if (owner == 0)
        m_keepalive = std::move(claim);
    return owner;
}

long BoardLock::RunningKeepalive() const
{
    const long pid = ReadPid(Join(m_dir, kKeepaliveFile));
    return pid > 0 && pid != OwnPid() && IsRunningThisProgram(pid) ? pid : 0;
}

// "BOOT_MS HARDWARE_MS": when it was armed and what the hardware counts.
void BoardLock::RecordCount(unsigned long long hardwareMs)
{
    WriteFileAtomically(
        Join(m_dir, kCountFile), std::to_string(BootClockMs()) + " " + std::to_string(hardwareMs));
}

void BoardLock::ForgetCount()
{
    std::error_code ignored;
    std::filesystem::remove(Join(m_dir, kCountFile), ignored);
}

unsigned long long BoardLock::RecordedCountMsLeft() const
{
    std::string text;
    unsigned long long armedMs = 0, hardwareMs = 0;
    if (!ReadPidText(Join(m_dir, kCountFile), text)
        || std::sscanf(text.c_str(), "%llu %llu", &armedMs, &hardwareMs) != 2)
        return 0;
    const unsigned long long nowMs = BootClockMs();
    return nowMs >= armedMs && nowMs - armedMs < hardwareMs ? hardwareMs - (nowMs - armedMs) : 0;
}

} // namespace bypassctl
