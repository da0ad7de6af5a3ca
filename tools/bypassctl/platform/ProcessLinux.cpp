#include "platform/Process.h"

#include "platform/Files.h"
#include "portio/LinuxPortPath.h"
#include "porttalk/PortTalkDevice.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <sys/io.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bypassctl {
namespace {

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

} // namespace

// A pid file is a line; more than a few dozen bytes is not one.
long OwnPid() { return static_cast<long>(getpid()); }

unsigned long long BootClockMs()
{
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<unsigned long long>(now.tv_sec) * 1000
        + static_cast<unsigned long long>(now.tv_nsec) / 1000000;
}

// EPERM: the process exists but belongs to another user.
bool IsRunning(long pid) { return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

bool IsRunningThisProgram(long pid)
{
    const std::string program = ProgramOf(std::to_string(pid));
    return !program.empty() && program == ProgramOf("self");
}

// The library has printed why each path failed, on one line of its own.
std::string NoPortAccessText()
{
    return "no port access: neither " PORTTALK_DEVICE_PATH " (the porttalk kernel module, for "
           "members of group bypassctl) nor iopl(3) (root or CAP_SYS_RAWIO, and a kernel that "
           "offers it) could be used (or use --simulate)";
}

std::string PortPathInUse() { return bypass::PortPathName(bypass::PlatformPortPath()); }

// The device is tried first; identify opens nothing, so only looks at it.
std::string PortPathToBeUsed()
{
    if (access(PORTTALK_DEVICE_PATH, R_OK | W_OK) == 0)
        return bypass::PortPathName(bypass::PortPath::Device);
    return std::string("iopl (") + PORTTALK_DEVICE_PATH + ": " + std::strerror(errno) + ")";
}

std::string NoProductNameText()
{
    const char* const file = "/sys/class/dmi/id/board_name";
    struct stat info;
    return std::string(file) + (stat(file, &info) == 0 ? " is empty" : " is missing")
        + ": the board reports no product name";
}

const std::vector<std::string>* KernelWatchdogModules()
{
    static const std::vector<std::string> modules = {"w83627hf_wdt", "it87_wdt"};
    return &modules;
}

std::string SystemLockDirectory() { return "/run/bypassctl"; }

// A shared temporary directory gets a directory of this user's in it, which
// the lock makes and checks like its own.
std::string UserLockDirectory()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime)
        return runtime;
    std::error_code error;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(error);
    return (
        (error ? std::filesystem::path("/tmp") : temp) / ("bypassctl-" + std::to_string(geteuid())))
        .string();
}

System ThisSystem() { return System::Linux; }

std::tm UtcCalendar(std::time_t when)
{
    std::tm utc{};
    gmtime_r(&when, &utc);
    return utc;
}

} // namespace bypassctl
