// The operations every board's tool defines, in the order CBypassTool
// declares them: a board's class declares them all with the one line
// BYPASS_TOOL_OPERATIONS; what each does on that board is said where it is
// defined.
#pragma once

#include "framework/BypassTool.h"

#define BYPASS_TOOL_OPERATIONS                                                                     \
    int DisableWDT() override;                                                                     \
    int EnableWDT() override;                                                                      \
    int SetWDTTimeout_Bypass(int nReserved, int nSecond) override;                                 \
    int SetWDTTimeout_ResartSys(int nReserved, int nSecond) override;                              \
    int EnableBypass() override;                                                                   \
    int DisableBypass() override;                                                                  \
    int IsSupportWDT() override
