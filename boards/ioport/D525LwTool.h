// D525-LW board, type 5001 ("Luna Pier CRB"). Two bypass segments whose
// relays and mode lines are GPIO pins of the ITE Super I/O. The tool drives
// no watchdog: arming only records the timeout and takes the ports out of
// bypass.
#pragma once

#include "framework/BypassTool.h"

#include <cstdint>

class CD525_ByapssTool_LW : public CBypassTool {
public:
    explicit CD525_ByapssTool_LW(int nBypassType);

    // Opens the port driver and configures the GPIO pins; answers 1 either way.
    int init() override;
    // No watchdog: both answer 0 without touching a port.
    int DisableWDT() override;
    int EnableWDT() override;
    // Both record the timeout and take the ports out of bypass.
    int SetWDTTimeout_Bypass(int nReserved, int nSecond) override;
    int SetWDTTimeout_ResartSys(int nReserved, int nSecond) override;
    int EnableBypass() override;
    int DisableBypass() override;
    // Answers 0.
    int IsSupportWDT() override;

private:
    // Sets up the relay and mode pins as simple-I/O outputs.
    static void InitGpio();
};
