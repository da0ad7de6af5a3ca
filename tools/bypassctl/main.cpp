// bypassctl: the command-line tool for people who install and service the
// appliances.
#include "cli/Cli.h"
#include "platform/TextConv.h"

#include <iostream>

int main(int argc, char** argv)
{
    std::vector<std::string> args = bypassctl::ProgramArguments(argc, argv);
    const bypassctl::ConsoleText out(std::cout, false);
    const bypassctl::ConsoleText err(std::cerr, true);
    bypassctl::Console console{std::cout, std::cerr, stderr, bypassctl::ProcessStopSignal(),
        bypassctl::ProcessSupervisor(), "/sys/module"};
    return bypassctl::RunBypassctl(args, console);
}
