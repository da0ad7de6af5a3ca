// bypassctl driver install | status | remove: the PortTalk driver of this
// release, installed only when the file beside bypassctl.exe is exactly the
// one built with it (Windows; elsewhere the command does not exist).
#pragma once

#include "cli/Cli.h"

namespace CLI {
class App;
}

namespace bypassctl {

struct DriverCommand {
    CLI::App* driver = nullptr;
    CLI::App* install = nullptr;
    CLI::App* status = nullptr;
    CLI::App* remove = nullptr;
};

// Adds the command to app on Windows; leaves it out elsewhere.
DriverCommand AddDriverCommand(CLI::App& app);
bool DriverCommandParsed(const DriverCommand& command);
// Runs the parsed subcommand and answers its exit code.
int RunDriverCommand(const DriverCommand& command, Console& console);

} // namespace bypassctl
