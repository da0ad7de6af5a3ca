// NEXCOM D525 board, type 4 ("nexcom-1130"). Two watchdogs: the board logic
// at ports 0xF2/0xF3, which also drives the relays and bypasses on expiry,
// and the watchdog of the ITE Super I/O, which restarts the system. The tool
// only ever writes ports.
#pragma once

#include "framework/ToolOperations.h"

class C_D525_BypassTool_NEXCOM : public CBypassTool {
public:
    explicit C_D525_BypassTool_NEXCOM(int nBypassType);

    BYPASS_TOOL_OPERATIONS;
};
