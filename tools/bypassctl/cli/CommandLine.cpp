// The command line: the table of commands, their options, and the dispatch
// to the command that was given.
#include "board/BoardChoice.h"
#include "board/TimeoutTable.h"
#include "cli/Cli.h"
#include "cli/CommandTable.h"
#include "cli/ConfigFile.h"

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

// Whether an option's value is the next argument, which is then no command.
using TakesValue = std::function<bool(const std::string& arg)>;

// The arguments without the words that named the command ("service",
// "install"), as given; a global option's value is never taken for one.
std::vector<std::string> WithoutCommandWords(
    const std::vector<std::string>& args, const std::string& command, const TakesValue& takesValue)
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
        if (takesValue(args[i]) && i + 1 < args.size())
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
    // the board's accepted timeouts; with json, the text in one JSON object.
    int Answer(const CLI::Success& request, const Options& options, Console& console, bool json);
    // What went wrong, with the unexpected arguments in the order given
    // (CLI11 lists them last one first).
    std::string Problem(const CLI::ParseError& error) const;
    // The row of the command that was given.
    const CommandRow& Given() const;
    // The deepest command the parser reached, null before any.
    Json Reached() const;
    // "unknown command 'bypas' (did you mean 'bypass'?)" for the first word
    // that stands where a command belongs and names none; empty otherwise.
    std::string UnknownCommand(const std::vector<std::string>& args) const;
    // Whether an option of any command takes a value: what the parser was
    // told, so there is no second list of options to keep.
    bool TakesValue(const std::string& arg) const;

private:
    // The command the words of args name, the top level before any.
    const CLI::App& GivenCommand(const std::vector<std::string>& args) const;
    // args and, for a command with --config, the options of its file.
    std::vector<std::string> WithConfigFile(const std::vector<std::string>& args);

    CLI::App m_app{
        "bypassctl: drive the LAN-bypass relays and the watchdog of this appliance", "bypassctl"};
    std::vector<const CommandRow*> m_rows = CommandTable();
    std::map<std::string, CLI::App*> m_commands;
    std::string m_configFile;
    std::vector<ConfigEntry> m_configEntries;
};

CommandLine::CommandLine(Options& options)
{
    m_app.footer(kExitCodeHelp);
    m_app.require_subcommand(1);
    m_app.set_version_flag("--version", "bypassctl " BYPASSCTL_VERSION);
    AddGlobalOptions(m_app, options);
    const std::string commandFooter = GlobalOptionsHelp(m_app) + "\n" + kExitCodeHelp;
    for (const CommandRow* row : m_rows) {
        const std::string name = row->name;
        const std::size_t space = name.rfind(' ');
        CLI::App& parent
            = space == std::string::npos ? m_app : *m_commands.at(name.substr(0, space));
        CLI::App* command = parent.add_subcommand(name.substr(space + 1), row->description);
        command->fallthrough();
        command->footer(commandFooter);
        if (!row->run)
            command->require_subcommand(1);
        if (row->addOptions)
            row->addOptions(*command, options);
        m_commands[name] = command;
    }
}

void CommandLine::Parse(const std::vector<std::string>& args)
{
    const std::vector<std::string> all = WithConfigFile(args);
    // CLI11 takes the arguments last one first.
    std::vector<std::string> reversed(all.rbegin(), all.rend());
    try {
        m_app.parse(reversed);
    } catch (const CLI::Success&) {
        throw;
    } catch (const CLI::ParseError& error) {
        const std::string problem = ConfigProblem(m_configFile, m_configEntries, error.what());
        if (problem == error.what())
            throw;
        throw CLI::ConfigError(problem);
    }
}

const CLI::App& CommandLine::GivenCommand(const std::vector<std::string>& args) const
{
    const CLI::App* level = &m_app;
    std::string path;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i].rfind('-', 0) == 0) {
            i += TakesValue(args[i]) ? 1 : 0;
            continue;
        }
        const auto command = m_commands.find(path + args[i]);
        if (command == m_commands.end())
            break;
        level = command->second;
        path = command->first + " ";
    }
    return *level;
}

// The file's options go after the command line's, as the command's own.
std::vector<std::string> CommandLine::WithConfigFile(const std::vector<std::string>& args)
{
    const CLI::App& command = GivenCommand(args);
    if (!command.get_option_no_throw("--config"))
        return args;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--config" && i + 1 < args.size())
            m_configFile = args[i + 1];
        else if (args[i].rfind("--config=", 0) == 0)
            m_configFile = args[i].substr(9);
    }
    if (m_configFile.empty())
        return args;
    m_configEntries = ReadConfigFile(m_configFile, command, args);
    std::vector<std::string> all = args;
    for (const ConfigEntry& entry : m_configEntries)
        all.push_back(entry.argument);
    return all;
}

int CommandLine::Answer(
    const CLI::Success& request, const Options& options, Console& console, bool json)
{
    for (const CommandRow* row : m_rows) {
        CLI::App* command = m_commands.at(row->name);
        if (command->parsed() && command->get_option_no_throw("--timeout"))
            command->footer(BoardTimeoutsHelp(options) + command->get_footer());
    }
    if (!json)
        return m_app.exit(request, console.out, console.err);
    std::ostringstream out, err;
    const int code = m_app.exit(request, out, err);
    const bool version = dynamic_cast<const CLI::CallForVersion*>(&request) != nullptr;
    Report report(console, true);
    report.Set("command", Reached());
    std::string text = out.str() + err.str();
    if (version && !text.empty() && text.back() == '\n')
        text.pop_back();
    report.Set(version ? "version" : "help", text);
    return code == 0 ? report.Done() : report.Fail(ExitCode(code), "");
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
    return **std::find_if(m_rows.begin(), m_rows.end(),
        [this](const CommandRow* row) { return row->run && m_commands.at(row->name)->parsed(); });
}

Json CommandLine::Reached() const
{
    Json reached; // a group's row comes before its commands' rows
    for (const CommandRow* row : m_rows) {
        if (m_commands.at(row->name)->parsed())
            reached = row->name;
    }
    return reached;
}

bool CommandLine::TakesValue(const std::string& arg) const
{
    std::vector<const CLI::App*> apps{&m_app};
    for (const auto& [name, command] : m_commands)
        apps.push_back(command);
    return std::any_of(apps.begin(), apps.end(), [&arg](const CLI::App* app) {
        const CLI::Option* option = app->get_option_no_throw(arg);
        return option && option->get_type_size_max() > 0;
    });
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

// --json anywhere on the command line, also where the parser stopped
// before it.
bool WantsJson(const std::vector<std::string>& args)
{
    return std::find(args.begin(), args.end(), "--json") != args.end();
}

} // namespace

int RunBypassctl(const std::vector<std::string>& args, Console& console)
{
    Options options;
    CommandLine line(options);
    try {
        line.Parse(args);
    } catch (const CLI::Success& request) {
        return line.Answer(request, options, console, WantsJson(args));
    } catch (const CLI::ParseError& error) {
        Report report(console, WantsJson(args));
        report.Set("command", line.Reached());
        const std::string unknown = line.UnknownCommand(args);
        return report.Fail(kExitUsage,
            unknown.empty() ? line.Problem(error) + " (bypassctl --help shows what is allowed)"
                            : unknown);
    }
    const CommandRow& command = line.Given();
    options.arguments = WithoutCommandWords(
        args, command.name, [&line](const std::string& arg) { return line.TakesValue(arg); });
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
