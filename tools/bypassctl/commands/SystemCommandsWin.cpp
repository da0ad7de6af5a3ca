// The commands of Windows alone: keepalive as a service, and the PortTalk
// driver. They follow the common rows in bypassctl --help.
#include "cli/CommandTable.h"

#include <CLI/CLI.hpp>

namespace bypassctl {
namespace {

// What follows `service run` is keepalive's, which checks it in the service.
void AddServiceRunOptions(CLI::App& command, Options& /*options*/)
{
    command.prefix_command();
    command.fallthrough(false);
}

const CommandRow kWindowsCommands[] = {
    {"service", "run keepalive as the Windows service bypassctl-keepalive", nullptr, nullptr},
    {"service install",
        "register the service, started at boot, to run keepalive with these options; "
        "its events go to the Application event log",
        InstallService, AddKeepAliveOptions},
    {"service remove", "stop the service (disarming as keepalive does) and remove it",
        RemoveService, nullptr},
    {"service run", "what the service manager starts: keepalive with the installed options",
        RunService, AddServiceRunOptions},
    {"driver", "install, check or remove the PortTalk driver of this release (administrator)",
        nullptr, nullptr},
    {"driver install",
        "copy the PortTalk.sys beside bypassctl.exe into the drivers directory, if it is this "
        "release's, register and start its service (repairing one left by a failed first use)",
        InstallDriver, nullptr},
    {"driver status", "show the service, its file, whether it is this release's and the device",
        ShowDriverStatus, nullptr},
    {"driver remove", "stop and delete the service and its file", RemoveDriver, nullptr},
};

} // namespace

std::span<const CommandRow> SystemCommands() { return kWindowsCommands; }

} // namespace bypassctl
