// The commands of the command line, one row each.
#pragma once

#include "cli/Command.h"
#include "platform/Process.h"

#include <vector>

namespace CLI {
class App;
}

namespace bypassctl {

// One command of the command line. A row without a function is a group:
// its commands are the rows named after it ("wdt arm" is in "wdt"). A row
// of one system's only is left out elsewhere.
struct CommandRow {
    const char* name;
    const char* description;
    void (*run)(Context& context);
    void (*addOptions)(CLI::App& command, Options& options);
    System only = System::Any;
};

// The rows of this system, in the order of bypassctl --help.
std::vector<const CommandRow*> CommandTable();

// The options every command takes (--type, --simulate, --trace, --json).
void AddGlobalOptions(CLI::App& app, Options& options);

} // namespace bypassctl
