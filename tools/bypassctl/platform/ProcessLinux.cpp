#include "platform/Process.h"

#include <cerrno>
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

long OwnPid() { return static_cast<long>(getpid()); }

// EPERM: the process exists but belongs to another user.
bool IsRunning(long pid) { return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

bool IsRunningThisProgram(long pid)
{
    const std::string program = ProgramOf(std::to_string(pid));
    return !program.empty() && program == ProgramOf("self");
}

// A kernel built without the iopl emulation answers ENOSYS to everyone,
// root included; lowering the level to 0 asks nothing of the privileges.
std::string NoPortAccessText()
{
    if (iopl(0) != 0 && errno == ENOSYS)
        return "no port access: the kernel offers no port I/O (iopl is not available; use "
               "--simulate)";
    return "no port access: port I/O needs root or CAP_SYS_RAWIO (or use --simulate)";
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

std::string SystemLockDirectory() { return "/run/lock"; }

System ThisSystem() { return System::Linux; }

std::tm UtcCalendar(std::time_t when)
{
    std::tm utc{};
    gmtime_r(&when, &utc);
    return utc;
}

} // namespace bypassctl
