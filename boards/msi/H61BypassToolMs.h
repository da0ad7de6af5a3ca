// The MSI H61 board, "MS-S0391": the Super I/O watchdog of logical device 7
// (registers 0xF0, 0xF5, 0xF6), and two relay segments driven by a relay
// controller on chipset GPIO lines.
#pragma once

#include "framework/BypassTool.h"

class C_H61_BypassTool_MS : public CBypassTool {
public:
    explicit C_H61_BypassTool_MS(int nBypassType);

    int DisableWDT() override;
    int EnableWDT() override;
    int SetWDTTimeout_Bypass(int nReserved, int nSecond) override;
    int SetWDTTimeout_ResartSys(int nReserved, int nSecond) override;
    int EnableBypass() override;
    int DisableBypass() override;
    int IsSupportWDT() override;
    // Writes "0xf0=..,0xf5=..,0xf6=.." (at most 23 characters and the NUL).
    void GetCurDesc(char* pszDesc) override;
};

namespace bypass {

struct WatchdogReadback;

// The watchdog's enable and timeout status bits (0xF5 bits 5 and 6), read in
// one pass through configuration mode that writes only the device
// selection and puts back the device it found selected.
WatchdogReadback H61MsReadWatchdog();

} // namespace bypass
