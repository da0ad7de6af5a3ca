// The MSI H61 board, "MS-S0391": the Super I/O watchdog of logical device 7
// (registers 0xF0, 0xF5, 0xF6), and two relay segments driven by a relay
// controller on chipset GPIO lines.
#pragma once

#include "boards/msi/MsiSioTool.h"

#include <string>

class C_H61_BypassTool_MS : public CMsiSioBypassTool {
public:
    explicit C_H61_BypassTool_MS(int nBypassType);

    // Stops the watchdog of whatever logical device is selected.
    int DisableWDT() override;
    // Writes "0xf0=..,0xf5=..,0xf6=.." (at most 23 characters and the NUL).
    void GetCurDesc(char* pszDesc) override;

protected:
    void ApplyBypassMode(int nMode, std::uint8_t nTimeout) override;
};

namespace bypass {

struct WatchdogReadback;

// The watchdog's enable and timeout status bits (0xF5 bits 5 and 6), read in
// one pass through configuration mode that writes only the device
// selection and puts back the device it found selected.
WatchdogReadback H61MsReadWatchdog();

// GetCurDesc's "0xf0=81,0xf5=60,0xf6=5" in words; empty for any other text.
std::string H61MsDescriptionInWords(const char* description);

} // namespace bypass
