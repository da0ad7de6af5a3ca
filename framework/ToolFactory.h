// The mapping from catalogue type to tool class. The board table
// implements it; the framework only calls it.
#pragma once

#include "framework/BypassTool.h"

namespace bypass {

// Creates (without init) the tool that serves type: the class of the
// type's row with the type stored, or the null tool with type 0 for a type
// that has no row. Throws std::bad_alloc when there is no memory.
CBypassTool* MakeBypassTool(int type);

// The name of the class that serves type, as MakeBypassTool would choose it.
const char* BypassToolClassName(int type);

} // namespace bypass
