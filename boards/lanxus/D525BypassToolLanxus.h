// The tool of the D525-LANXUS board (type 11): an IT87 watchdog and one
// relay line for the whole board on the D525 chipset's GPIO 8.
#pragma once

#include "framework/BypassTool.h"

#include <cstdint>

class C_D525_BypassTool_Lanxus : public CBypassTool {
public:
    explicit C_D525_BypassTool_Lanxus(int nBypassType);

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
    int ArmWithRelayNormal(int nMode, int nSecond);
    static void StopWatchdog();
    static void ArmWatchdog(int nMode, std::uint8_t byCount);
    static void InitRelayGpio();
    static void SetRelayBypass();
    static void SetRelayNormal();
    static void RaiseRelayControl();
};
