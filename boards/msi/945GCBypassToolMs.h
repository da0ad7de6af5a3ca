// The MSI 945GC board, "MS-96C4": the Super I/O watchdog of device 8, and
// relays on bits 0 and 1 of board port 0x5E.
#pragma once

#include "framework/BypassTool.h"

class C_945GC_BypassTool_MS : public CBypassTool {
public:
    explicit C_945GC_BypassTool_MS(int nBypassType);

    int DisableWDT() override;
    int EnableWDT() override;
    int SetWDTTimeout_Bypass(int nReserved, int nSecond) override;
    int SetWDTTimeout_ResartSys(int nReserved, int nSecond) override;
    // Both answer -1 after switching the relays.
    int EnableBypass() override;
    int DisableBypass() override;
    int IsSupportWDT() override;
};
