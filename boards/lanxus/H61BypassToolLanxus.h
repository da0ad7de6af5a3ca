// The tool of the H61-LANXUS board (type 10): an IT87 watchdog and two
// relay segments behind a relay controller on six H61 GPIO lines.
#pragma once

#include "boards/lanxus/LanxusTool.h"

class C_H61_BypassTool_Lanxus : public CLanxusBypassTool {
public:
    explicit C_H61_BypassTool_Lanxus(int nBypassType);
};
