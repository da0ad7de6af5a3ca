// What bypassctl asks of the operating system's processes and descriptors,
// one implementation per system (ProcessLinux.cpp, ProcessWin.cpp).
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace bypassctl {

long OwnPid();
// Milliseconds since boot, suspend included: the same in every process.
unsigned long long BootClockMs();
// A process with this pid exists; one this account may not look into (of
// another user or service) counts as running.
bool IsRunning(long pid);
// A running process of this same program: a pid left by a process that
// died may since have been given to anything else.
bool IsRunningThisProgram(long pid);

// Why the ports cannot be opened, as bypassctl says it (exit 3).
std::string NoPortAccessText();
// How the real ports are reached: once opened, the path in use ("device
// /dev/porttalk", "iopl"); before, the one an opening would take.
std::string PortPathInUse();
std::string PortPathToBeUsed();
// Why the board reports no product name: which file or query is empty.
std::string NoProductNameText();
// Kernel drivers that own the Super I/O watchdogs of these boards; null
// where the system loads none.
const std::vector<std::string>* KernelWatchdogModules();
// Where the real boards' lock and pid files live: a directory only root
// can enter on Linux.
std::string SystemLockDirectory();
// Where simulated boards' lock and pid files live by default: one of this
// user's own (on Linux $XDG_RUNTIME_DIR, else bypassctl-UID in the temporary
// directory).
std::string UserLockDirectory();
enum class System { Linux, Windows };
// The system built for: what it has of the commands and options.
System ThisSystem();

// The calendar time of when in UTC.
std::tm UtcCalendar(std::time_t when);

// With --json, standard output carries the one object alone: what the
// library prints while it runs (driver messages, a probe's result) goes to
// standard error. The library writes through the C runtime, so while this
// lives (and is active) its file descriptor 1 points at standard error.
class StdoutToStderr {
public:
    explicit StdoutToStderr(bool active);
    ~StdoutToStderr();
    StdoutToStderr(const StdoutToStderr&) = delete;
    StdoutToStderr& operator=(const StdoutToStderr&) = delete;

private:
    int m_saved = -1;
};

} // namespace bypassctl
