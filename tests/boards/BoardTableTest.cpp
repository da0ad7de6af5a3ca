// The board table against the exported catalogue, the classes the factory
// really builds and the board models' relay segments. (The allow-list's test
// holds the rows' ports to what every tool really touches on its model.)
#include "boards/BoardTable.h"
#include "framework/BypassInfo.h"
#include "framework/ToolFactory.h"
#include "sim/BoardModel.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <string>
#include <typeinfo>

namespace {

using namespace bypass;

std::string ClassOf(const CBypassTool& tool)
{
    int status = 0;
    char* name = abi::__cxa_demangle(typeid(tool).name(), nullptr, nullptr, &status);
    const std::string text = status == 0 ? name : typeid(tool).name();
    std::free(name);
    return text;
}

// Every catalogue row but "identify" is one board row, with the same product
// name, and the factory builds the row's class keeping the type.
TEST(BoardTable, AgreesWithTheCatalogueAndTheFactory)
{
    ASSERT_EQ(BoardTable().size(), BYPASS_INFO_ROWS - 1u) << "every catalogue type but identify";
    for (const bypass_info& entry : g_bypass_info_array) {
        const BoardRow* row = FindBoard(entry.type);
        if (entry.type == -1) {
            EXPECT_EQ(row, nullptr) << "identification is not a board";
            continue;
        }
        ASSERT_NE(row, nullptr) << "type " << entry.type;
        EXPECT_STREQ(row->product, entry.board_name) << "type " << entry.type;
        std::unique_ptr<CBypassTool> tool(MakeBypassTool(entry.type));
        EXPECT_EQ(ClassOf(*tool), row->className) << "type " << entry.type;
        EXPECT_STREQ(BypassToolClassName(entry.type), row->className);
        EXPECT_EQ(tool->GetBypassType(), entry.type);
        EXPECT_EQ(tool->GetTimeoutSecond(), 5);
        EXPECT_EQ(tool->IsSupportWDT(), row->form != TimeoutForm::None) << "type " << entry.type;
        EXPECT_EQ(sim::CreateBoardModel(entry.type)->SegmentCount(), row->segments)
            << "type " << entry.type;
    }
}

} // namespace
