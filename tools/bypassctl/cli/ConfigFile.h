// keepalive's configuration file, as daemons such as watchdog read theirs:
// one "name = value" a line, the name an option's long name without its
// dashes, a repeatable option on as many lines as it has values. A value is
// taken whole, spaces and all (check = pgrep -x suricata), or written in
// double quotes (\" and \\ inside). "#" and ";" begin comment lines. A flag
// takes true or false. (CLI11 2.1, Debian's, reads a configuration file for
// the top-level command only, not for keepalive's.)
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace bypassctl {

struct ConfigEntry {
    int line;
    const CLI::Option* option;
    std::string argument; // "--check=pgrep -x suricata"; empty for a flag set false
};

// The file's options of command (or of the commands above it) as arguments,
// but for those the command line gives itself or excludes by what it gives:
// the command line wins. Throws CLI::ConfigError naming the file and line.
std::vector<ConfigEntry> ReadConfigFile(
    const std::string& path, const CLI::App& command, const std::vector<std::string>& given);

// The error of the parser about an option the file gave, with the file's
// line in front; the error as it was when no entry's option is its subject.
std::string ConfigProblem(
    const std::string& path, const std::vector<ConfigEntry>& entries, const std::string& problem);

} // namespace bypassctl
