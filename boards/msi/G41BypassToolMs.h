// The MSI G41 board, "MS-96E3": the Super I/O watchdog of device 8, and two
// relay segments set through a latch on chipset GPIO ports 0x48C, 0x4B8 and
// 0x48F.
#pragma once

#include "boards/msi/MsiSioTool.h"

class C_G41_BypassTool_MS : public CMsiSioBypassTool {
public:
    explicit C_G41_BypassTool_MS(int nBypassType);

protected:
    void ApplyBypassMode(int nMode, std::uint8_t nTimeout) override;
};
