// NEXCOM G41 boards, types 7 ("NSA3110") and 8 ("Eaglelake"). Board logic
// behind port 0xF2 takes the watchdog timeout code and port 0xF3 a control
// byte; the two boards differ only in the low bits of that byte.
#pragma once

#include "framework/BypassTool.h"

class C_G41_BypassTool_NEXCOM : public CBypassTool {
public:
    explicit C_G41_BypassTool_NEXCOM(int nBypassType);

    // DisableWDT writes the normal state, as DisableBypass does; EnableWDT
    // only rewrites the timeout code.
    int DisableWDT() override;
    int EnableWDT() override;
    // The board logic alone decides what expiry does: both arm alike.
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
