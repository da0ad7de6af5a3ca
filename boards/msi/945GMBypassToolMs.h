// The MSI 945GM board, "MS-9641": the Super I/O watchdog of device 8, and
// relays on the low four bits of board port 0x5E.
#pragma once

#include "framework/BypassTool.h"

class C945GMBypassTool_MS : public CBypassTool {
public:
    explicit C945GMBypassTool_MS(int nBypassType);

    int DisableWDT() override;
    int EnableWDT() override;
    int SetWDTTimeout_Bypass(int nReserved, int nSecond) override;
    // Answers -1 after arming, unlike the other slots.
    int SetWDTTimeout_ResartSys(int nReserved, int nSecond) override;
    int EnableBypass() override;
    int DisableBypass() override;
    int IsSupportWDT() override;
};
