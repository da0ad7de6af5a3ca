#include "framework/ToolFactory.h"

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
