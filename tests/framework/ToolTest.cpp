// The manager: which tool a request gets, and the order in which the tools
// it replaces and builds close and open the shared port driver.
#include "framework/BaseboardQuery.h"
#include "framework/BypassToolManager.h"
#include "support/TraceTest.h"

#include <string>
#include <typeinfo>

namespace {

using bypass::test::OperationNamed;

std::string g_product;
std::string ScriptedProduct() { return g_product; }

class Manager : public bypass::test::TraceTest {
protected:
    void SetUp() override
    {
        TraceTest::SetUp();
        m_previous = bypass::SetProductNameSource(ScriptedProduct);
    }
    void TearDown() override
    {
        bypass::SetProductNameSource(m_previous);
        TraceTest::TearDown();
    }

private:
    bypass::ProductNameSource m_previous = nullptr;
};

// -1 asks for the board the product name identifies; a type without a board,
// or a name that no row matches, gets the null tool with type 0.
TEST_F(Manager, BuildsTheRequestedOrIdentifiedTypeAndTheNullToolOtherwise)
{
    const struct {
        int requested;
        const char* product;
        int type;
    } kCases[] = {
        {7, "", 7},
        {5003, "", 5003},
        {12, "", 0},
        {-5, "", 0},
        {5000, "", 0},
        {5004, "", 0},
        {-1, "MS-96C4", 5},
        {-1, "Luna Pier CRB", 5001},
        {-1, "", 0},
        {-1, "unknown board", 0},
        {-1, "BY_MAINBOARD", 0},
        {-1, "NULL", 0},
    };
    CBypassToolManager manager;
    EXPECT_EQ(manager.GetBypassTool(), nullptr);
    for (const auto& c : kCases) {
        g_product = c.product;
        CBypassTool* tool = manager.CreateBypassTool(c.requested);
        EXPECT_EQ(tool->GetBypassType(), c.type) << c.requested << " " << c.product;
        EXPECT_EQ(c.type == 0, typeid(*tool) == typeid(CNULLBypassTool)) << c.requested;
        EXPECT_EQ(manager.GetBypassTool(), tool);
        std::string name = "old";
        EXPECT_EQ(CBypassToolManager::GetProductNameFromMainBoard(name), *c.product ? 1 : 0);
        EXPECT_EQ(name, c.product);
    }
    manager.DestroyBypassTool();
    EXPECT_EQ(manager.GetBypassTool(), nullptr);
}

TEST_F(Manager, NullToolAnswersZeroWithoutTouchingThePorts)
{
    CNULLBypassTool tool(0);
    EXPECT_EQ(tool.init(), 1);
    for (const char* operation : {"disable-wdt", "enable-wdt", "arm-bypass-30", "arm-restart-40",
             "kick-bypass", "kick-restart", "enable-bypass", "disable-bypass"})
        EXPECT_EQ(OperationNamed(operation)(tool), 0) << operation;
    tool.fini();
    EXPECT_TRACE("");
}

TEST_F(Manager, TearsTheOldToolDownBeforeTheNewToolOpensTheDriver)
{
    CBypassToolManager manager;
    CBypassTool* first = manager.CreateBypassTool(7);
    const std::type_info& firstClass = typeid(*first);
    CBypassTool* second = manager.CreateBypassTool(8);
    EXPECT_EQ(typeid(*second), firstClass); // one class keeps either type
    EXPECT_EQ(second->GetBypassType(), 8);
    EXPECT_TRACE(R"(
        open -> 0   # type 7
        close       # its fini, before the new tool exists
        open -> 0   # type 8
    )");

    // A tool whose driver could not be opened is kept like any other, and
    // the null tool neither opens nor closes the driver.
    ports.SetOpenResult(-1);
    EXPECT_EQ(manager.CreateBypassTool(1)->GetBypassType(), 1);
    manager.CreateBypassTool(0);
    ports.SetOpenResult(0);
    manager.CreateBypassTool(3);
    manager.DestroyBypassTool();
    manager.DestroyBypassTool();
    EXPECT_EQ(manager.GetBypassTool(), nullptr);
    EXPECT_TRACE(R"(
        close       # type 8 torn down
        open -> -1  # type 1 keeps a closed driver
        open -> 0   # type 3; the null tool touched nothing in between
        close       # destroyed once
    )");
}

} // namespace
