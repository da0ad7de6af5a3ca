// 1045 board, type 1 ("i845GV-W83627HF"). The W83627HF Super I/O is not
// used: watchdog and relays are driven by read-modify-write of the board
// port 0xF2.
#pragma once

#include "framework/BypassTool.h"

class C1045BypassTool : public CBypassTool {
public:
    explicit C1045BypassTool(int nBypassType);

    int DisableWDT() override;
    int EnableWDT() override;
    // Both arming slots refuse timeouts outside 1 to 64 seconds with -1,
    // after storing them, without touching the board.
    int SetWDTTimeout_Bypass(int nReserved, int nSecond) override;
    int SetWDTTimeout_ResartSys(int nReserved, int nSecond) override;
    int EnableBypass() override;
    int DisableBypass() override;
    int IsSupportWDT() override;

private:
    // Performs the port accesses of one operation; nMode names the operation.
    static void DoBypassCtrl(int nValue, int nMode);
    int Arm(int nSecond, int nMode);
};
