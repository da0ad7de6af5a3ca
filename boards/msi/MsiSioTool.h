// The MSI boards, whose watchdog lives in the Super I/O at 0x4E/0x4F (945GC,
// 945GM, D525-MS and G41-MS in logical device 8, H61-MS in device 7): every
// operation is one pass through configuration mode, and the boards differ
// only in the sequence of each mode and in what some slots answer.
#pragma once

#include "framework/ToolOperations.h"

#include <cstdint>

class CMsiSioBypassTool : public CBypassTool {
public:
    BYPASS_TOOL_OPERATIONS;

protected:
    // What the slots answer after their sequence.
    struct SlotResults {
        int armForRestart;
        int switchRelays; // EnableBypass and DisableBypass
    };
    CMsiSioBypassTool(int nBypassType, SlotResults results);

    // The board's sequence of one mode (bypass::MsiBypassMode), run in
    // configuration mode. nTimeout is the counter byte of an arming.
    virtual void ApplyBypassMode(int nMode, std::uint8_t nTimeout) = 0;

private:
    int RunMode(int nMode, std::uint8_t nTimeout, int nResult);

    SlotResults m_results;
};
