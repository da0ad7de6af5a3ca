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
    int DisableWDT() override;
    int EnableWDT() override;
    int SetWDTTimeout_Bypass(int nReserved, int nSecond) override;
    int SetWDTTimeout_ResartSys(int nReserved, int nSecond) override;
    int EnableBypass() override;
    int DisableBypass() override;
    int IsSupportWDT() override;

private:
    // lets the unit tests reach the per-segment steps
    friend struct D525LwSegmentAccess;

    static void EnterSioConfig();
    static void ExitSioConfig();
    // Each register access is a whole enter, select, access, exit cycle.
    static std::uint8_t ReadSioReg(std::uint8_t nReg);
    static void WriteSioReg(std::uint8_t nReg, std::uint8_t nValue);
    static int InitGpio();
    // The segments are named 16 and 32; any other value does nothing.
    static void PrepareSegment(int nSeg);
    static void EnableSegmentBypass(int nSeg);
    static void DisableSegmentBypass(int nSeg);
    // What arming does on this board: the timeout is only recorded.
    void KeepTimeoutAndLeaveBypass(int nSecond);
};
