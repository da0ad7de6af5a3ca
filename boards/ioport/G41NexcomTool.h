// NEXCOM G41 boards, types 7 ("NSA3110") and 8 ("Eaglelake"). Board logic
// behind port 0xF2 takes the watchdog timeout code and port 0xF3 a control
// byte; the two boards differ only in the low bits of that byte.
#pragma once

#include "framework/BypassTool.h"

class C_G41_BypassTool_NEXCOM : public CBypassTool {
public:
    explicit C_G41_BypassTool_NEXCOM(int nBypassType);

    int DisableWDT() override;
    int EnableWDT() override;
    int SetWDTTimeout_Bypass(int nReserved, int nSecond) override;
    int SetWDTTimeout_ResartSys(int nReserved, int nSecond) override;
    int EnableBypass() override;
    int DisableBypass() override;
    int IsSupportWDT() override;

private:
    // Writes a state (bits 7-6 of the control byte) with this board's low bits.
    void WriteState(int nState) const;
    void Arm(int nSecond);
};
