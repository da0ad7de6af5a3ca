// 1045 board, type 1 ("i845GV-W83627HF"). The W83627HF Super I/O is not
// used: watchdog and relays are driven by read-modify-write of the board
// port 0xF2.
#pragma once

#include "framework/ToolOperations.h"

#include <cstdint>

class C1045BypassTool : public CBypassTool {
public:
    explicit C1045BypassTool(int nBypassType);

    BYPASS_TOOL_OPERATIONS;

private:
    int StoreAndArm(int nSecond, std::uint8_t armedBit, std::uint8_t otherArmedBit);
};
