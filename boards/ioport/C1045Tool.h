// 1045 board, type 1 ("i845GV-W83627HF"). The W83627HF Super I/O is not
// used: watchdog and relays are driven by read-modify-write of the board
// port 0xF2.
#pragma once

#include "framework/BypassTool.h"

#include <cstdint>

class C1045BypassTool : public CBypassTool {
public:
    explicit C1045BypassTool(int nBypassType);

    // Clears the expiry bits and the code, like DisableBypass.
    int DisableWDT() override;
    // Reads the board port and nothing else.
    int EnableWDT() override;
    // Both arming slots refuse timeouts outside 1 to 64 seconds with -1,
    // after storing them, without touching the board.
    int SetWDTTimeout_Bypass(int nReserved, int nSecond) override;
    int SetWDTTimeout_ResartSys(int nReserved, int nSecond) override;
    // Arms for bypass with the shortest timeout.
    int EnableBypass() override;
    int DisableBypass() override;
    int IsSupportWDT() override;

private:
    int StoreAndArm(int nSecond, std::uint8_t armedBit, std::uint8_t otherArmedBit);
};
