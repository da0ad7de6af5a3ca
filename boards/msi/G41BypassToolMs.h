// The MSI G41 board, "MS-96E3": the Super I/O watchdog of device 8, and two
// relay segments set through a latch on chipset GPIO ports 0x48C, 0x4B8 and
// 0x48F.
#pragma once

#include "framework/BypassTool.h"

#include <cstdint>

class C_G41_BypassTool_MS : public CBypassTool {
public:
    explicit C_G41_BypassTool_MS(int nBypassType);

    int DisableWDT() override;
    int EnableWDT() override;
    int SetWDTTimeout_Bypass(int nReserved, int nSecond) override;
    int SetWDTTimeout_ResartSys(int nReserved, int nSecond) override;
    int EnableBypass() override;
    int DisableBypass() override;
    int IsSupportWDT() override;

private:
    int ApplyBypassMode(int nMode, std::uint8_t nTimeout);
    void LatchRelays(int nBypass);
    // 0 after a latch, -1 when the gate kept the latch shut.
    static int LatchSegmentRelay(int nSegment, int nBypass);
};
