#include "framework/ToolFactory.h"

#include "boards/msi/945GCBypassToolMs.h"
#include "boards/msi/945GMBypassToolMs.h"
#include "boards/msi/D525BypassToolMs.h"
#include "boards/msi/G41BypassToolMs.h"
#include "boards/msi/H61BypassToolMs.h"

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
    {3, "C945GMBypassTool_MS", Make<C945GMBypassTool_MS>},
    {5, "C_945GC_BypassTool_MS", Make<C_945GC_BypassTool_MS>},
    {6, "C_G41_BypassTool_MS", Make<C_G41_BypassTool_MS>},
    {9, "C_H61_BypassTool_MS", Make<C_H61_BypassTool_MS>},
    {5002, "C_D525_BypassTool_MS", Make<C_D525_BypassTool_MS>},
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
