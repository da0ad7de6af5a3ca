// The tool of the D525-LANXUS board (type 11): an IT87 watchdog and one
// relay line for the whole board on the D525 chipset's GPIO 8.
#pragma once

#include "boards/lanxus/LanxusTool.h"

class C_D525_BypassTool_Lanxus : public CLanxusBypassTool {
public:
    explicit C_D525_BypassTool_Lanxus(int nBypassType);
};
