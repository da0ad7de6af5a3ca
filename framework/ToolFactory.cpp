#include "framework/ToolFactory.h"

#include "boards/ioport/C1045Tool.h"
#include "boards/ioport/D525LwTool.h"
#include "boards/ioport/D525NexcomTool.h"
#include "boards/ioport/G41NexcomTool.h"
#include "boards/ioport/Q35Tool.h"
#include "boards/lanxus/D525BypassToolLanxus.h"
#include "boards/lanxus/H61BypassToolLanxus.h"
#include "boards/msi/945GCBypassToolMs.h"
#include "boards/msi/945GMBypassToolMs.h"
#include "boards/msi/D525BypassToolMs.h"
#include "boards/msi/G41BypassToolMs.h"
#include "boards/msi/H61BypassToolMs.h"
#include "boards/smbus/MB8756BypassTool.h"

namespace bypass {
namespace {

template <class Tool> CBypassTool* Make(int type) { return new Tool(type); }

struct FactoryRow {
    int type;
    const char* className;
    CBypassTool* (*create)(int type);
};

// One row per board type. Types without a row get the null tool, type 0.
const FactoryRow kFactory[] = {
    {0, "CNULLBypassTool", Make<CNULLBypassTool>},
    {1, "C1045BypassTool", Make<C1045BypassTool>},
    {2, "CQ35BypassTool", Make<CQ35BypassTool>},
    {3, "C945GMBypassTool_MS", Make<C945GMBypassTool_MS>},
    {4, "C_D525_BypassTool_NEXCOM", Make<C_D525_BypassTool_NEXCOM>},
    {5, "C_945GC_BypassTool_MS", Make<C_945GC_BypassTool_MS>},
    {6, "C_G41_BypassTool_MS", Make<C_G41_BypassTool_MS>},
    {7, "C_G41_BypassTool_NEXCOM", Make<C_G41_BypassTool_NEXCOM>},
    {8, "C_G41_BypassTool_NEXCOM", Make<C_G41_BypassTool_NEXCOM>},
    {9, "C_H61_BypassTool_MS", Make<C_H61_BypassTool_MS>},
    {10, "C_H61_BypassTool_Lanxus", Make<C_H61_BypassTool_Lanxus>},
    {11, "C_D525_BypassTool_Lanxus", Make<C_D525_BypassTool_Lanxus>},
    {5001, "CD525_ByapssTool_LW", Make<CD525_ByapssTool_LW>},
    {5002, "C_D525_BypassTool_MS", Make<C_D525_BypassTool_MS>},
    {5003, "C_MB8756_BypassTool", Make<C_MB8756_BypassTool>},
};

const FactoryRow* FindRow(int type)
{
    for (const FactoryRow& row : kFactory) {
        if (row.type == type)
            return &row;
    }
    return nullptr;
}

} // namespace

CBypassTool* MakeBypassTool(int type)
{
    const FactoryRow* row = FindRow(type);
    return row ? row->create(type) : new CNULLBypassTool(0);
}

const char* BypassToolClassName(int type)
{
    const FactoryRow* row = FindRow(type);
    return row ? row->className : "CNULLBypassTool";
}

} // namespace bypass
