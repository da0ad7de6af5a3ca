#include "board/KernelModules.h"

#include "platform/Process.h"

#include <filesystem>

namespace bypassctl {

void WarnAboutKernelWatchdogs(Context& context)
{
    const std::vector<std::string>* modules = KernelWatchdogModules();
    if (!modules)
        return;
    Json loaded = Json::array();
    for (const std::string& module : *modules) {
        std::error_code error;
        if (!std::filesystem::exists(context.console.moduleDir + "/" + module, error))
            continue;
        loaded.push_back(module);
        context.report.Warn("kernel module " + module
            + " is loaded and owns the same watchdog chip; unload it (rmmod " + module
            + ") before driving the watchdog from here");
    }
    context.report.Set("kernel_watchdog_modules", loaded);
}

} // namespace bypassctl
