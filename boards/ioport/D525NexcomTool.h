// NEXCOM D525 board, type 4 ("nexcom-1130"). Two watchdogs: the board logic
// at ports 0xF2/0xF3, which also drives the relays and bypasses on expiry,
// and the watchdog of the ITE Super I/O, which restarts the system. The tool
// only ever writes ports.
#pragma once

#include "framework/BypassTool.h"

class C_D525_BypassTool_NEXCOM : public CBypassTool {
public:
    explicit C_D525_BypassTool_NEXCOM(int nBypassType);

    // Stops neither watchdog: answers 0 without touching a port.
    int DisableWDT() override;
    // Re-arms the board logic's watchdog with the stored timeout.
    int EnableWDT() override;
    // Arms the board logic's watchdog, or the Super I/O's for a restart.
    int SetWDTTimeout_Bypass(int nReserved, int nSecond) override;
    int SetWDTTimeout_ResartSys(int nReserved, int nSecond) override;
    int EnableBypass() override;
    int DisableBypass() override;
    int IsSupportWDT() override;
};
