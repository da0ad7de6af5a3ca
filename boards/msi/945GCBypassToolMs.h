// The MSI 945GC board, "MS-96C4": the Super I/O watchdog of device 8, and
// relays on bits 0 and 1 of board port 0x5E. EnableBypass and DisableBypass
// answer -1 after switching the relays.
#pragma once

#include "boards/msi/MsiSioTool.h"

class C_945GC_BypassTool_MS : public CMsiSioBypassTool {
public:
    explicit C_945GC_BypassTool_MS(int nBypassType);

protected:
    void ApplyBypassMode(int nMode, std::uint8_t nTimeout) override;
};
