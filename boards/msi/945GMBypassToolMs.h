// The MSI 945GM board, "MS-9641": the Super I/O watchdog of device 8, and
// relays on the low four bits of board port 0x5E. SetWDTTimeout_ResartSys
// answers -1 after arming, unlike the other slots.
#pragma once

#include "boards/msi/MsiSioTool.h"

class C945GMBypassTool_MS : public CMsiSioBypassTool {
public:
    explicit C945GMBypassTool_MS(int nBypassType);

protected:
    void ApplyBypassMode(int nMode, std::uint8_t nTimeout) override;
};
