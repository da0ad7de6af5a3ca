// The commands of Windows only. Their rows are left out of this system's
// command table, so nothing runs these; they let the one table link.
#include "cli/Command.h"

namespace bypassctl {
namespace {

[[noreturn]] void NotOnThisSystem(Context& /*context*/)
{
    throw CommandError{kExitUsage, "this command exists on Windows only"};
}

} // namespace

void InstallService(Context& context) { NotOnThisSystem(context); }
void RemoveService(Context& context) { NotOnThisSystem(context); }
void RunService(Context& context) { NotOnThisSystem(context); }
void InstallDriver(Context& context) { NotOnThisSystem(context); }
void ShowDriverStatus(Context& context) { NotOnThisSystem(context); }
void RemoveDriver(Context& context) { NotOnThisSystem(context); }

} // namespace bypassctl
