// The tool of the H61-LANXUS board (type 10): an IT87 watchdog and two
// relay segments behind a relay controller on six H61 GPIO lines.
#pragma once

#include "framework/BypassTool.h"

#include <cstdint>

class C_H61_BypassTool_Lanxus : public CBypassTool {
public:
    explicit C_H61_BypassTool_Lanxus(int nBypassType);

    int init() override;
    int DisableWDT() override;
    int EnableWDT() override;
    int SetWDTTimeout_Bypass(int nReserved, int nSecond) override;
    int SetWDTTimeout_ResartSys(int nReserved, int nSecond) override;
    int EnableBypass() override;
    int DisableBypass() override;
    int IsSupportWDT() override;

protected:
    // Expiry action last armed: 1 bypass, 0 restart. Kept for the record;
    // nothing reads it back.
    int m_nBypassOnExpiry;

private:
    int ArmWithRelaysNormal(int nMode, int nSecond);
    static void StopWatchdog();
    static void ArmWatchdog(int nMode, std::uint8_t byCount);
    static void InitRelayGpio();
    static void LatchSegmentRelay(int nSegment, int nState);
    static void SetAllSegments(int nState);
    static void IoDelay();
};
