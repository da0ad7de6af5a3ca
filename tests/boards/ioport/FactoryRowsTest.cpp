#include "boards/ioport/C1045Tool.h"
#include "boards/ioport/D525LwTool.h"
#include "boards/ioport/D525NexcomTool.h"
#include "boards/ioport/G41NexcomTool.h"
#include "boards/ioport/Q35Tool.h"
#include "framework/ToolFactory.h"
#include "support/TraceTest.h"

#include <memory>
#include <typeinfo>

namespace {

using PortIoFactory = bypass::test::TraceTest;

TEST_F(PortIoFactory, EachPortIoTypeYieldsItsOwnToolKeepingItsType)
{
    struct Row {
        int type;
        const std::type_info& tool;
        const char* name;
    };
    const Row rows[] = {
        {1, typeid(C1045BypassTool), "C1045BypassTool"},
        {2, typeid(CQ35BypassTool), "CQ35BypassTool"},
        {4, typeid(C_D525_BypassTool_NEXCOM), "C_D525_BypassTool_NEXCOM"},
        {7, typeid(C_G41_BypassTool_NEXCOM), "C_G41_BypassTool_NEXCOM"},
        {8, typeid(C_G41_BypassTool_NEXCOM), "C_G41_BypassTool_NEXCOM"},
        {5001, typeid(CD525_ByapssTool_LW), "CD525_ByapssTool_LW"},
    };
    for (const Row& row : rows) {
        std::unique_ptr<CBypassTool> tool(bypass::MakeBypassTool(row.type));
        EXPECT_EQ(typeid(*tool), row.tool) << row.type;
        EXPECT_EQ(tool->GetBypassType(), row.type);
        EXPECT_EQ(tool->GetTimeoutSecond(), 5);
        EXPECT_STREQ(bypass::BypassToolClassName(row.type), row.name);
    }
    // creating a tool touches no port; init does
    EXPECT_TRACE("");
}

} // namespace
