/* A host program as firewall software links the library: it finds the tool
 * of the board it runs on and arms the watchdog to restart the system unless
 * it is re-armed within the given seconds. On an appliance it drives the
 * board; on any Linux machine it drives a virtual one unchanged:
 *
 *   bypassctl appliance --simulate MS-96E3 &
 *   BYPASSTOOL_APPLIANCE=$XDG_RUNTIME_DIR/bypassctl-appliance.sock ./watchdog_host 5
 */
#include "framework/BypassToolC.h"

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? atoi(argv[1]) : 60;
    bypass_tool* tool = bypass_tool_create(-1); /* -1: identify the board */
    int result;
    if (!tool)
        return 1;
    if (bypass_tool_type(tool) == 0 || !bypass_tool_is_support_wdt(tool)) {
        printf("no watchdog of the catalogue on this board\n");
        bypass_tool_destroy(tool);
        return 1;
    }
    result = bypass_tool_set_wdt_timeout_restart_sys(tool, 0, seconds);
    printf("board type %d: watchdog armed to restart in %d s: %s\n", bypass_tool_type(tool),
        seconds, result < 0 ? "refused" : "done");
    bypass_tool_destroy(tool);
    return result < 0 ? 1 : 0;
}
