// The MSI D525 board, "MS-96D9": the Super I/O watchdog of device 8, and two
// relay segments set through a latch on chipset GPIO ports 0x48D, 0x48F and
// 0x4B9.
#pragma once

#include "boards/msi/MsiSioTool.h"

class C_D525_BypassTool_MS : public CMsiSioBypassTool {
public:
    explicit C_D525_BypassTool_MS(int nBypassType);

protected:
    void ApplyBypassMode(int nMode, std::uint8_t nTimeout) override;
};
