#include "cli/ConfigFile.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <set>

namespace bypassctl {
namespace {

std::string Trim(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

[[noreturn]] void Refuse(const std::string& path, int line, const std::string& why)
{
    throw CLI::ConfigError(path + " line " + std::to_string(line) + ": " + why);
}

// "text" with \" and \\ inside, or the value as written.
std::string Unquote(const std::string& path, int line, const std::string& value)
{
    if (value.empty() || value.front() != '"')
        return value;
    std::string text;
    for (std::size_t i = 1; i < value.size(); ++i) {
        if (value[i] == '"') {
            if (i + 1 != value.size())
                Refuse(path, line, "text after the closing quote");
            return text;
        }
        if (value[i] == '\\' && i + 1 < value.size())
            ++i;
        text += value[i];
    }
    Refuse(path, line, "the quote is not closed");
}

// The option of this name on the command or the commands above it.
const CLI::Option* FindOption(const CLI::App& command, const std::string& name)
{
    for (const CLI::App* app = &command; app; app = app->get_parent()) {
        const CLI::Option* option = app->get_option_no_throw("--" + name);
        if (option)
            return option;
    }
    return nullptr;
}

// The options the command line gives, and those they exclude.
std::set<const CLI::Option*> GivenOptions(
    const CLI::App& command, const std::vector<std::string>& given)
{
    std::set<const CLI::Option*> options;
    for (const std::string& arg : given) {
        if (arg.rfind("--", 0) != 0)
            continue;
        const CLI::Option* option = FindOption(command, arg.substr(2, arg.find('=') - 2));
        if (!option)
            continue;
        options.insert(option);
        for (const CLI::Option* excluded : option->get_excludes())
            options.insert(excluded);
    }
    return options;
}

std::string FlagArgument(
    const std::string& path, int line, const std::string& name, const std::string& value)
{
    if (value == "true" || value == "yes" || value == "1")
        return "--" + name;
    if (value == "false" || value == "no" || value == "0")
        return "";
    Refuse(path, line, name + " is a flag: true or false, not '" + value + "'");
}

ConfigEntry ReadEntry(
    const std::string& path, int line, const std::string& text, const CLI::App& command)
{
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos)
        Refuse(path, line, "expected 'name = value', found '" + text + "'");
    const std::string name = Trim(text.substr(0, equals));
    const std::string value = Unquote(path, line, Trim(text.substr(equals + 1)));
    const CLI::Option* option = FindOption(command, name);
    if (!option || name == "help" || name == "version")
        Refuse(path, line, "'" + name + "' is no option of bypassctl " + command.get_name());
    if (name == "config")
        Refuse(path, line, "a configuration file cannot name another");
    if (option->get_type_size_max() == 0)
        return {line, option, FlagArgument(path, line, name, value)};
    return {line, option, "--" + name + "=" + value};
}

} // namespace

std::vector<ConfigEntry> ReadConfigFile(
    const std::string& path, const CLI::App& command, const std::vector<std::string>& given)
{
    std::ifstream file(path);
    if (!file)
        throw CLI::ConfigError("cannot read the configuration file " + path);
    const std::set<const CLI::Option*> fromCommandLine = GivenOptions(command, given);
    std::vector<ConfigEntry> entries;
    std::map<const CLI::Option*, int> seen; // the line of each option's first value
    std::string text;
    for (int line = 1; std::getline(file, text); ++line) {
        text = Trim(text);
        if (text.empty() || text[0] == '#' || text[0] == ';')
            continue;
        const ConfigEntry entry = ReadEntry(path, line, text, command);
        const auto [first, isFirst] = seen.emplace(entry.option, line);
        if (!isFirst && entry.option->get_expected_max() <= 1)
            Refuse(path, line,
                entry.option->get_name(false, true) + " is given on line "
                    + std::to_string(first->second) + " already");
        if (!entry.argument.empty() && fromCommandLine.count(entry.option) == 0)
            entries.push_back(entry);
    }
    return entries;
}

std::string ConfigProblem(
    const std::string& path, const std::vector<ConfigEntry>& entries, const std::string& problem)
{
    // The parser names the option first: "--timeout: 'x' is not a decimal number".
    const auto subject = [&problem](const ConfigEntry& entry) {
        const std::string name = entry.option->get_name(false, true);
        return problem.rfind(name + ":", 0) == 0 || problem.rfind(name + " ", 0) == 0;
    };
    auto cause = std::find_if(entries.begin(), entries.end(), [&](const ConfigEntry& entry) {
        const std::string value = entry.argument.substr(entry.argument.find('=') + 1);
        return subject(entry) && problem.find(value) != std::string::npos;
    });
    if (cause == entries.end())
        cause = std::find_if(entries.begin(), entries.end(), subject);
    return cause == entries.end() ? problem
                                  : path + " line " + std::to_string(cause->line) + ": " + problem;
}

} // namespace bypassctl
