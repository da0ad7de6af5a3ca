// bypassctl's commands, callable in-process: arguments in, exit code out,
// with all text written to the streams of a Console.
#pragma once

#include "supervise/StopSignal.h"
#include "supervise/Supervisor.h"

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace bypassctl {

enum ExitCode {
    kExitDone = 0,
    kExitUsage = 2,        // bad usage or bad input; no port was touched
    kExitNoPortAccess = 3, // the port driver or the privilege is missing
    kExitUnsupported = 4,  // the board has no such function
    kExitBoardFailed = 5,  // the board's operation answered -1
    kExitBusy = 6,         // another process held the board lock; nothing was done
    kExitExpired = 7,      // keepalive let the watchdog expire: the health checks failed
};

struct Console {
    std::ostream& out;
    std::ostream& err;
    std::FILE* trace;       // receives the port traffic with --trace
    StopSignal& stop;       // ends keepalive
    Supervisor& supervisor; // hears keepalive's events
    std::string moduleDir;  // where Linux lists its loaded kernel modules
};

// Runs one bypassctl command line (without the program name).
int RunBypassctl(const std::vector<std::string>& args, Console& console);

} // namespace bypassctl
