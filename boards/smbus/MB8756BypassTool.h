// The tool of the G41-LS board (type 5003): its bypass segments and its
// watchdog belong to a bypass controller at SMBus address 0x37, which takes
// every command as a byte written to one of its registers.
#pragma once

#include "framework/ToolOperations.h"

class C_MB8756_BypassTool : public CBypassTool {
public:
    explicit C_MB8756_BypassTool(int nBypassType);
    // Closes the driver handle like fini; a second close does nothing.
    ~C_MB8756_BypassTool() override;

    // Opens the driver, finds the SMBus controller and hands the segment mask
    // to the bypass controller. Answers 0 whether or not that worked.
    int init() override;
    void fini() override;
    BYPASS_TOOL_OPERATIONS;

private:
    bool HasController() const;
    void ReleaseController();
    int WriteRegister(unsigned reg, unsigned value);

    int m_nSmbusBase; // I/O base of the SMBus controller; -1: none
};
