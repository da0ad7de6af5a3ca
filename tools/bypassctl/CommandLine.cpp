// The command line: the table of commands, their options, and the dispatch
// to the command that was given.
#include "Board.h"
#include "Cli.h"
#include "Command.h"
#include "DriverCommand.h"
#include "TimeoutTable.h"
#include "WindowsService.h"
#include "commands/Appliance.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace bypassctl {
namespace {

const char* const kExitCodeHelp = "Exit codes: 0 done; 2 bad usage or input (no port touched); "
                                  "3 no port access (driver or privilege) or a port access "
                                  "failed; 4 not supported on this board; 5 the board answered "
                                  "a failure (-1); 6 another bypassctl held the board; 7 the "
                                  "watchdog expired: the health checks failed.";

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
            },
            "what expiry does: bypass (join the ports) or restart (reset the system)")
        ->check(CLI::IsMember({"bypass", "restart"}));
}

CLI::Option* AddTimeoutOption(CLI::App& command, Options& options)
{
    return command.add_option("--timeout", options.timeout, "timeout in whole seconds")
        ->check(Decimal, "");
}

void AddBypassOptions(CLI::App& command, Options& options)
{
    command
        .add_option_function<std::string>(
            "state", [&options](const std::string& state) { options.bypassOn = state == "on"; },
            "on or off")
        ->required()
        ->check(CLI::IsMember({"on", "off"}));
}

void AddArmOptions(CLI::App& command, Options& options)
{
    AddActionOption(command, options)->required();
    AddTimeoutOption(command, options)->required();
}

// The timeout is checked by the command, which says why it needs one.
void AddKickOptions(CLI::App& command, Options& options)
{
    AddActionOption(command, options);
    AddTimeoutOption(command, options);
}

// What keepalive asks before each re-arm; all must pass.
void AddHealthCheckOptions(CLI::App& command, Options& options)
{
    command
        .add_option("--check", options.checks,
            "a command run each round by the shell; exit status 0 is healthy (repeatable)")
        ->allow_extra_args(false)
        ->check(NotEmpty, "");
    command
        .add_option(
            "--pidfile", options.pidFiles, "a pid file whose process must be running (repeatable)")
        ->allow_extra_args(false)
        ->check(NotEmpty, "");
#if defined(_WIN32)
    command
        .add_option("--process", options.processes,
            "an image name (suricata.exe) that must be running (repeatable)")
        ->allow_extra_args(false)
        ->check(NotEmpty, "");
#endif
    command
        .add_option("--check-timeout", options.checkTimeout,
            "seconds each check may take before it fails, shorter than the interval (default "
            "half the interval, at least 1)")
        ->check(Decimal, "");
    command
        .add_option("--max-failures", options.maxFailures,
            "failed rounds in a row that stop the re-arming, so the watchdog expires (default 1)")
        ->check(Decimal, "");
}

void AddKeepAliveOptions(CLI::App& command, Options& options)
{
    AddTimeoutOption(command, options)->required();
    AddActionOption(command, options);
    command
        .add_option("--interval", options.interval,
            "seconds between re-arms, at least 1 and shorter than what the hardware counts "
            "(default a third of that)")
        ->check(Decimal, "");
    command.add_flag("--leave-armed", options.leaveArmed,
        "leave the watchdog armed when stopped, so it expires");
    AddHealthCheckOptions(command, options);
    command.add_flag("--verbose", options.verbose, "log each re-arm");
    command
        .add_option("--status-file", options.statusFile,
            "keep the watchdog's state in this JSON file, replaced after each round")
        ->check(NotEmpty, "");
}

#if defined(_WIN32)
// What follows `service run` is keepalive's, which checks it in the service.
void AddServiceRunOptions(CLI::App& command, Options& /*options*/)
{
    command.prefix_command();
    command.fallthrough(false);
}
#endif

// One command of the command line. A row without a function is a group:
// its commands are the rows named after it ("wdt arm" is in "wdt").
struct CommandRow {
    const char* name;
    const char* description;
    void (*run)(Context& context);
    void (*addOptions)(CLI::App& command, Options& options);
};

const CommandRow kCommands[] = {
    {"list", "show the board catalogue", ListBoards, nullptr},
    {"identify", "show the product name the board reports, its type and the tool that serves it",
        IdentifyBoard, nullptr},
    {"bypass", "switch the bypass relays on (ports joined) or off", SwitchBypass, AddBypassOptions},
    {"wdt", "drive the watchdog", nullptr, nullptr},
    {"wdt arm", "arm the watchdog with a timeout and an expiry action", ArmWatchdog, AddArmOptions},
    {"wdt kick",
        "re-arm the watchdog with the timeout it was armed with (--timeout is needed: a new "
        "bypassctl does not know it)",
        KickWatchdog, AddKickOptions},
    {"wdt enable",
        "start the watchdog with a new bypassctl's stored timeout (5 s), where the board's "
        "EnableWDT starts one",
        EnableWatchdog, nullptr},
    {"wdt stop", "stop the watchdog, where the board's DisableWDT does", StopWatchdog, nullptr},
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
#if defined(_WIN32)
    {"service", "run keepalive as the Windows service bypassctl-keepalive", nullptr, nullptr},
    {"service install",
        "register the service, started at boot, to run keepalive with these options; "
        "its events go to the Application event log",
        InstallService, AddKeepAliveOptions},
    {"service remove", "stop the service (disarming as keepalive does) and remove it",
        RemoveService, nullptr},
    {"service run", "what the service manager starts: keepalive with the installed options",
        RunService, AddServiceRunOptions},
#endif
};

// Options whose value is the next argument, which is then no command.
bool TakesValue(const std::string& arg)
{
    static const char* const kValueOptions[] = {"--type", "--simulate", "--timeout", "--action",
        "--interval", "--check", "--pidfile", "--process", "--check-timeout", "--max-failures",
        "--status-file", "--appliance", "--socket"};
    return std::find(std::begin(kValueOptions), std::end(kValueOptions), arg)
        != std::end(kValueOptions);
}

// The arguments without the words that named the command ("service",
// "install"), as given; a global option's value is never taken for one.
std::vector<std::string> WithoutCommandWords(
    const std::vector<std::string>& args, const std::string& command)
{
    std::istringstream words(command);
    std::string word;
    words >> word;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!word.empty() && args[i] == word) {
            word.clear();
            words >> word;
            continue;
        }
        rest.push_back(args[i]);
        if (TakesValue(args[i]) && i + 1 < args.size())
            rest.push_back(args[++i]);
    }
    return rest;
}

// The number of single-letter edits between two words: a typo is one or two
// edits away from the command that was meant.
std::size_t EditDistance(const std::string& a, const std::string& b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// " (did you mean 'wdt arm'?)" for the command closest to word, if one is close.
std::string Suggestion(
    const std::vector<const CLI::App*>& commands, const std::string& path, const std::string& word)
{
    const CLI::App* closest = nullptr;
    std::size_t best = 3;
    for (const CLI::App* command : commands) {
        const std::size_t distance = EditDistance(word, command->get_name());
        if (distance < best) {
            best = distance;
            closest = command;
        }
    }
    return closest ? " (did you mean '" + path + closest->get_name() + "'?)" : "";
}

// The options every command takes, as the help of each command lists them.
std::string GlobalOptionsHelp(const CLI::App& app)
{
    const CLI::Formatter formatter;
    std::string text = "Global options (before or after the command):\n";
    for (const CLI::Option* option : app.get_options()) {
        if (option != app.get_help_ptr())
            text += formatter.make_option(option, false);
    }
    return text;
}

// The timeouts of the board that --type or --simulate names, if they name one.
std::string BoardTimeoutsHelp(const Options& options)
{
    if (options.type == kIdentify && options.simulate.empty())
        return "";
    try {
        const Board board = ChooseBoard(options);
        return board.type == kIdentify ? "" : AcceptedTimeouts(board.type) + "\n\n";
    } catch (const CommandError&) {
        return "";
    }
}

class CommandLine {
public:
    explicit CommandLine(Options& options);

    // Throws CLI11's errors.
    void Parse(const std::vector<std::string>& args);
    // Help and --version: the text, and for a command that takes a timeout
    // the board's accepted timeouts.
    int Answer(const CLI::Success& request, const Options& options, Console& console) const;
    int Exit(const CLI::Error& error, Console& console) const
    {
        return m_app.exit(error, console.out, console.err);
    }
    // What went wrong, with the unexpected arguments in the order given
    // (CLI11 lists them last one first).
    std::string Problem(const CLI::ParseError& error) const;
    // The row of the command that was given, unless it was `driver`.
    const CommandRow& Given() const;
    const DriverCommand& Driver() const { return m_driver; }
    // The deepest command the parser reached, null before any.
    Json Reached() const;
    // "unknown command 'bypas' (did you mean 'bypass'?)" for the first word
    // that stands where a command belongs and names none; empty otherwise.
    std::string UnknownCommand(const std::vector<std::string>& args) const;

private:
    CLI::App m_app{
        "bypassctl: drive the LAN-bypass relays and the watchdog of this appliance", "bypassctl"};
    std::map<std::string, CLI::App*> m_commands;
    DriverCommand m_driver;
};

CommandLine::CommandLine(Options& options)
{
    m_app.footer(kExitCodeHelp);
    m_app.require_subcommand(1);
    m_app.set_version_flag("--version", "bypassctl " BYPASSCTL_VERSION);
    AddBoardOptions(m_app, options);
    const std::string commandFooter = GlobalOptionsHelp(m_app) + "\n" + kExitCodeHelp;
    for (const CommandRow& row : kCommands) {
        const std::string name = row.name;
        const std::size_t space = name.rfind(' ');
        CLI::App& parent
            = space == std::string::npos ? m_app : *m_commands.at(name.substr(0, space));
        CLI::App* command = parent.add_subcommand(name.substr(space + 1), row.description);
        command->fallthrough();
        command->footer(commandFooter);
        if (!row.run)
            command->require_subcommand(1);
        if (row.addOptions)
            row.addOptions(*command, options);
        m_commands[name] = command;
    }
    m_driver = AddDriverCommand(m_app);
}

void CommandLine::Parse(const std::vector<std::string>& args)
{
    // CLI11 takes the arguments last one first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    m_app.parse(reversed);
}

int CommandLine::Answer(const CLI::Success& request, const Options& options, Console& console) const
{
    for (const CommandRow& row : kCommands) {
        CLI::App* command = m_commands.at(row.name);
        if (command->parsed() && command->get_option_no_throw("--timeout"))
            command->footer(BoardTimeoutsHelp(options) + command->get_footer());
    }
    return Exit(request, console);
}

std::string CommandLine::Problem(const CLI::ParseError& error) const
{
    if (dynamic_cast<const CLI::ExtrasError*>(&error) == nullptr)
        return error.what();
    std::string extras;
    for (const std::string& arg : m_app.remaining(true))
        extras += " " + arg;
    return "unexpected arguments:" + extras;
}

const CommandRow& CommandLine::Given() const
{
    // A group needs one of its commands, so exactly one row that runs was given.
    return *std::find_if(std::begin(kCommands), std::end(kCommands),
        [this](const CommandRow& row) { return row.run && m_commands.at(row.name)->parsed(); });
}

Json CommandLine::Reached() const
{
    Json reached; // a group's row comes before its commands' rows
    for (const CommandRow& row : kCommands) {
        if (m_commands.at(row.name)->parsed())
            reached = row.name;
    }
    return reached;
}

std::string CommandLine::UnknownCommand(const std::vector<std::string>& args) const
{
    const CLI::App* level = &m_app;
    std::string path;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word.rfind('-', 0) == 0) {
            i += TakesValue(word) ? 1 : 0;
            continue;
        }
        const auto commands = level->get_subcommands(std::function<bool(const CLI::App*)>{});
        if (commands.empty())
            return ""; // the words after a command are its own arguments
        const auto given = std::find_if(commands.begin(), commands.end(),
            [&word](const CLI::App* command) { return command->get_name() == word; });
        if (given == commands.end())
            return "unknown command '" + path + word + "'" + Suggestion(commands, path, word);
        level = *given;
        path += word + " ";
    }
    return "";
}

} // namespace

int RunBypassctl(const std::vector<std::string>& args, Console& console)
{
    Options options;
    CommandLine line(options);
    try {
        line.Parse(args);
    } catch (const CLI::Success& request) {
        return line.Answer(request, options, console);
    } catch (const CLI::ParseError& error) {
        Report report(console, std::find(args.begin(), args.end(), "--json") != args.end());
        report.Set("command", line.Reached());
        const std::string unknown = line.UnknownCommand(args);
        return report.Fail(kExitUsage,
            unknown.empty() ? line.Problem(error) + " (bypassctl --help shows what is allowed)"
                            : unknown);
    }
    if (DriverCommandParsed(line.Driver()))
        return RunDriverCommand(line.Driver(), console);
    const CommandRow& command = line.Given();
    options.arguments = WithoutCommandWords(args, command.name);
    Report report(console, options.json);
    report.Set("command", command.name);
    Context context{options, console, report};
    try {
        command.run(context);
    } catch (const CommandError& error) {
        return report.Fail(error.code, error.message);
    }
    return report.Done();
}

} // namespace bypassctl
