// The MSI boards whose watchdog is logical device 8 of the Super I/O at
// 0x4E/0x4F (945GC, 945GM, D525-MS, G41-MS): every operation is one pass
// through configuration mode, and the boards differ only in the sequence of
// each mode and in what some slots answer.
#pragma once

#include "framework/BypassTool.h"

#include <cstdint>

class CMsiSioBypassTool : public CBypassTool {
public:
    int DisableWDT() override;
    int EnableWDT() override;
    int SetWDTTimeout_Bypass(int nReserved, int nSecond) override;
    int SetWDTTimeout_ResartSys(int nReserved, int nSecond) override;
    int EnableBypass() override;
    int DisableBypass() override;
    int IsSupportWDT() override;

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
