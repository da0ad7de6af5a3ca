// The table of commands and their options: one row per command, in the
// order of bypassctl --help.
#include "cli/CommandTable.h"

#include "commands/Appliance.h"
#include "platform/Process.h"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace bypassctl {
namespace {

// Numbers are read as decimal, as a technician types them: left to itself
// the parser would read 030 as octal 24, take 0x1E, and make "" a 0. Up to
// 18 digits fit the seconds, so a long number reaches the board's range
// check, which names the seconds the board takes.
std::string Decimal(const std::string& text)
{
    const std::string digits = text.rfind('-', 0) == 0 ? text.substr(1) : text;
    const bool plain = !digits.empty() && digits.size() <= 18
        && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })
        && (digits == "0" || digits[0] != '0');
    return plain ? std::string()
                 : "'" + text + "' is not a decimal number (digits only, no leading zero)";
}

// An empty word (an unset shell variable) names nothing: an empty check
// command would be healthy for the shell, whatever the host's state.
std::string NotEmpty(const std::string& text)
{
    return text.find_first_not_of(" \t") == std::string::npos
        ? std::string("names nothing: an empty value (an unset shell variable?)")
        : std::string();
}

void AddBoardOptions(CLI::App& app, Options& options)
{
    app.add_option("--type", options.type, "board type from bypassctl list (skips identification)")
        ->check(Decimal, "");
    app.add_option("--simulate", options.simulate,
           "run against a simulated board, by type or product name: no privileges, no real ports")
        ->check(
            [](const std::string& board) {
                // an unset shell variable must not fall through to the real ports
                return board.empty() ? std::string("names no board: an empty value would drive "
                                                   "the real ports")
                                     : std::string();
            },
            "");
    app.add_option("--appliance", options.appliance,
        "drive the virtual appliance serving this socket (bypassctl appliance); default "
        "$BYPASSTOOL_APPLIANCE");
    app.add_flag("--trace", options.trace, "show every port access and sleep on standard error");
    app.add_flag("--json", options.json, "write one JSON object on standard output");
}

CLI::Option* AddActionOption(CLI::App& command, Options& options)
{
    return command
        .add_option_function<std::string>(
            "--action",
            [&options](const std::string& action) {
                options.action = action == "restart" ? ExpiryAction::Restart : ExpiryAction::Bypass;
                options.actionGiven = true;
            },
            "what expiry does: bypass (join the ports) or restart (reset the system)")
        ->check(CLI::IsMember({"bypass", "restart"}));
}

CLI::Option* AddTimeoutOption(CLI::App& command, Options& options)
{
    return command.add_option("--timeout", options.timeout, "timeout in whole seconds")
        ->check(Decimal, "");
}

// What changes the watchdog or the relays waits for keepalive to end.
void AddForceOption(CLI::App& command, Options& options)
{
    command.add_flag("--force", options.force,
        "act even while a keepalive owns the watchdog (it undoes the change at its next round)");
}

void AddBypassOptions(CLI::App& command, Options& options)
{
    command
        .add_option_function<std::string>(
            "state", [&options](const std::string& state) { options.bypassOn = state == "on"; },
            "on or off")
        ->required()
        ->check(CLI::IsMember({"on", "off"}));
    command.add_flag("--force", options.force,
        "act even while a keepalive owns the watchdog (it undoes the change at its next round), "
        "and bypass on even where it forces the expiry of a watchdog armed for restart, which "
        "restarts the system");
}

void AddArmOptions(CLI::App& command, Options& options)
{
    AddActionOption(command, options)->required();
    AddTimeoutOption(command, options)->required();
    AddForceOption(command, options);
}

// The timeout and the action are checked by the command, which says why it
// needs them.
void AddKickOptions(CLI::App& command, Options& options)
{
    AddActionOption(command, options);
    AddTimeoutOption(command, options);
    AddForceOption(command, options);
}

// A repeatable health check: each value names something that must hold.
void AddCheckList(
    CLI::App& command, const char* name, std::vector<std::string>& values, const char* help)
{
    command.add_option(name, values, help)->allow_extra_args(false)->check(NotEmpty, "");
}

// What keepalive asks before each re-arm; all must pass.
void AddHealthCheckOptions(CLI::App& command, Options& options)
{
    AddCheckList(command, "--check", options.checks,
        "a command run each round by the shell; exit status 0 is healthy (repeatable)");
    AddCheckList(command, "--pidfile", options.pidFiles,
        "a pid file whose process must be running (repeatable)");
    if (ThisSystem() == System::Windows)
        AddCheckList(command, "--process", options.processes,
            "an image name (suricata.exe) that must be running (repeatable)");
    command
        .add_option("--check-timeout", options.checkTimeout,
            "seconds all of a round's checks may take together, shorter than the interval "
            "(default half the interval, less where the timeout leaves less)")
        ->check(Decimal, "");
    command
        .add_option("--start-grace", options.startGrace,
            "seconds a start waits for the checks to pass before it arms once without "
            "re-arming (default 0)")
        ->check(Decimal, "");
    command
        .add_option("--max-failures", options.maxFailures,
            "failed rounds in a row that stop the re-arming, so the watchdog expires (default 1)")
        ->check(Decimal, "");
}

// --leave-armed is the older name of --on-stop leave.
void AddOnStopOptions(CLI::App& command, Options& options)
{
    CLI::Option* onStop
        = command
              .add_option_function<std::string>(
                  "--on-stop",
                  [&options](const std::string& step) {
                      options.onStop = step == "leave" ? OnStop::Leave
                          : step == "bypass"           ? OnStop::Bypass
                                                       : OnStop::Disarm;
                  },
                  "when stopped: disarm the watchdog (default), leave it armed so it expires, or "
                  "stop it and put the ports into bypass")
              ->check(CLI::IsMember({"disarm", "leave", "bypass"}));
    command
        .add_flag_callback(
            "--leave-armed", [&options] { options.onStop = OnStop::Leave; },
            "the same as --on-stop leave")
        ->excludes(onStop);
}

} // namespace

void AddKeepAliveOptions(CLI::App& command, Options& options)
{
    AddTimeoutOption(command, options)->required();
    AddActionOption(command, options);
    command
        .add_option("--interval", options.interval,
            "seconds between re-arms, at least 1 and shorter than what the hardware counts "
            "(default a third of that)")
        ->check(Decimal, "");
    AddOnStopOptions(command, options);
    AddHealthCheckOptions(command, options);
    command.add_flag("--verbose", options.verbose, "log each re-arm");
    command
        .add_option("--status-file", options.statusFile,
            "keep the watchdog's state in this JSON file, replaced after each round")
        ->check(NotEmpty, "");
    command
        .add_option("--metrics-file", options.metricsFile,
            "keep the watchdog's state as Prometheus metrics in this file, replaced after each "
            "round (for node_exporter's textfile collector)")
        ->check(NotEmpty, "");
    command.add_option("--config", options.configFile,
        "read these options from a file, one 'name = value' a line (check = pgrep -x suricata); "
        "the command line's own options win");
}

namespace {

const CommandRow kCommands[] = {
    {"list", "show the board catalogue", ListBoards, nullptr},
    {"identify", "show the product name the board reports, its type and the tool that serves it",
        IdentifyBoard, nullptr},
    {"bypass", "switch the bypass relays on (ports joined) or off", SwitchBypass, AddBypassOptions},
    {"wdt", "drive the watchdog", nullptr, nullptr},
    {"wdt arm", "arm the watchdog with a timeout and an expiry action", ArmWatchdog, AddArmOptions},
    {"wdt kick",
        "re-arm the watchdog with the timeout and action it was armed with (--timeout and "
        "--action are needed: a new bypassctl does not know them)",
        KickWatchdog, AddKickOptions},
    {"wdt enable",
        "start the watchdog with a new bypassctl's stored timeout (5 s), where the board's "
        "EnableWDT starts one",
        EnableWatchdog, AddForceOption},
    {"wdt stop", "stop the watchdog, where the board's DisableWDT does", StopWatchdog,
        AddForceOption},
    {"status",
        "show whether the board has a watchdog, the stored timeout, what the watchdog's chip reads "
        "back and the board's own text",
        ShowStatus, nullptr},
    {"keepalive",
        "arm the watchdog and re-arm it while the health checks pass, until SIGINT, SIGTERM or "
        "SIGHUP, then stop it",
        KeepWatchdogAlive, AddKeepAliveOptions},
    {"appliance",
        "serve a simulated board in real time on a Unix socket, for other processes to drive "
        "(Linux)",
        RunAppliance, AddApplianceOptions},
};

} // namespace

void AddGlobalOptions(CLI::App& app, Options& options) { AddBoardOptions(app, options); }

std::vector<const CommandRow*> CommandTable()
{
    std::vector<const CommandRow*> rows;
    for (const CommandRow& row : kCommands)
        rows.push_back(&row);
    for (const CommandRow& row : SystemCommands())
        rows.push_back(&row);
    return rows;
}

} // namespace bypassctl
