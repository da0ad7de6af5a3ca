// D525-LW board, type 5001 ("Luna Pier CRB"). Two bypass segments whose
// relays and mode lines are GPIO pins of the ITE Super I/O. The tool drives
// no watchdog: arming only records the timeout and takes the ports out of
// bypass.
#pragma once

#include "framework/ToolOperations.h"

#include <cstdint>

class CD525_ByapssTool_LW : public CBypassTool {
public:
    explicit CD525_ByapssTool_LW(int nBypassType);

    // Opens the port driver and configures the GPIO pins; answers 1 either way.
    int init() override;
    BYPASS_TOOL_OPERATIONS;

private:
    // Sets up the relay and mode pins as simple-I/O outputs.
    static void InitGpio();
};
