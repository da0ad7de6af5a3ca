// NEXCOM G41 boards, types 7 ("NSA3110") and 8 ("Eaglelake"). Board logic
// behind port 0xF2 takes the watchdog timeout code and port 0xF3 a control
// byte; the two boards differ only in the low bits of that byte.
#pragma once

#include "framework/ToolOperations.h"

class C_G41_BypassTool_NEXCOM : public CBypassTool {
public:
    explicit C_G41_BypassTool_NEXCOM(int nBypassType);

    BYPASS_TOOL_OPERATIONS;

private:
    // Writes a state (bits 7-6 of the control byte) with this board's low bits.
    void WriteState(int nState) const;
    void Arm(int nSecond);
};
