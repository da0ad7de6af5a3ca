// The commands of the command line, one row each.
#pragma once

#include "cli/Command.h"
#include <span>
#include <vector>

namespace CLI {
class App;
}

namespace bypassctl {

// One command of the command line. A row without a function is a group:
// its commands are the rows named after it ("wdt arm" is in "wdt").
struct CommandRow {
    const char* name;
    const char* description;
    void (*run)(Context& context);
    void (*addOptions)(CLI::App& command, Options& options);
};

// The rows of this system, in the order of bypassctl --help: the common
// ones, then SystemCommands().
std::vector<const CommandRow*> CommandTable();

// The commands of this system alone (the Windows service and driver), from
// the system's own file, so no other system links code it cannot run.
std::span<const CommandRow> SystemCommands();

// keepalive's options, which `service install` stores for the service.
void AddKeepAliveOptions(CLI::App& command, Options& options);

// The options every command takes (--type, --simulate, --trace, --json).
void AddGlobalOptions(CLI::App& app, Options& options);

} // namespace bypassctl
