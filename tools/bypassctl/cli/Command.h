// What every bypassctl command works with: the options of its command line,
// the console, and the report it fills. A command is a function of the
// command table (CommandLine.cpp); it ends early by throwing CommandError.
#pragma once

#include "cli/Cli.h"
#include "cli/Report.h"

#include <climits>
#include <string>
#include <vector>

namespace bypassctl {

// Before identification: the board's type is not known yet.
constexpr int kIdentify = -1;

// A number of seconds the command line did not give (no one can type it:
// numbers have at most 18 digits).
constexpr long long kNotGiven = LLONG_MIN;

// What the watchdog's expiry does.
enum class ExpiryAction { Bypass, Restart };

// What keepalive does with the watchdog when it is stopped in order.
enum class OnStop {
    Disarm, // stops the watchdog
    Leave,  // leaves it armed, so that it expires
    Bypass, // stops it and puts the ports into bypass
};

struct Options {
    int type = kIdentify;
    std::string simulate;
    std::string appliance; // the socket of a virtual appliance to drive
    bool trace = false;
    bool json = false;
    bool bypassOn = false;
    bool force = false; // bypass on even where it would restart the system
    ExpiryAction action = ExpiryAction::Bypass;
    long long timeout = kNotGiven;
    long long interval = kNotGiven; // not given: a third of what the hardware counts
    OnStop onStop = OnStop::Disarm;
    std::string configFile; // keepalive's options, one a line
    // keepalive's health checks: all must pass before each re-arm.
    std::vector<std::string> checks;    // command lines; exit status 0 is healthy
    std::vector<std::string> pidFiles;  // each names a process that must be running
    std::vector<std::string> processes; // image names (Windows)
    long long checkTimeout = kNotGiven; // not given: half the interval, at least 1 s
    long long maxFailures = 1;          // consecutive failed rounds that stop the re-arming
    bool verbose = false;               // log each re-arm
    std::string statusFile;
    std::string metricsFile; // Prometheus text, for node_exporter's textfile collector
    std::string socket;      // where the appliance serves
    // The command line without its command's words, as given: what the
    // service hands on to keepalive.
    std::vector<std::string> arguments;
};

// Ends a command with an exit code and one line saying why (none where the
// command has shown it already).
struct CommandError {
    ExitCode code;
    std::string message;
};

struct Context {
    const Options& options;
    Console& console;
    Report& report;
};

// The commands, in the order of bypassctl --help.
void ListBoards(Context& context);
void IdentifyBoard(Context& context);
void SwitchBypass(Context& context);
void ArmWatchdog(Context& context);
void KickWatchdog(Context& context);
void EnableWatchdog(Context& context);
void StopWatchdog(Context& context);
void ShowStatus(Context& context);
void KeepWatchdogAlive(Context& context);
// Windows only: keepalive as a service, and the PortTalk driver.
void InstallService(Context& context);
void RemoveService(Context& context);
void RunService(Context& context);
void InstallDriver(Context& context);
void ShowDriverStatus(Context& context);
void RemoveDriver(Context& context);

// Judges keepalive's options as keepalive does before it arms (the board,
// the timeout, the interval, the checks' timeout and --max-failures) and
// ends with the CommandError keepalive would end with: exit 2, or 4 where
// the board lacks the watchdog or the action. Touches no port.
void CheckKeepaliveOptions(Context& context);

} // namespace bypassctl
