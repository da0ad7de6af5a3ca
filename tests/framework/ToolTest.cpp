#include "framework/BaseboardQuery.h"
#include "framework/BypassToolManager.h"
#include "framework/ToolFactory.h"
#include "support/TraceTest.h"

#include <cstring>
#include <string>
#include <typeinfo>

namespace {

using bypass::test::TraceTest;

// A board tool that notes the arguments its arming slots receive.
class ArmingProbe : public CBypassTool {
public:
    ArmingProbe()
        : CBypassTool(6)
    {
    }
    int DisableWDT() override { return 0; }
    int EnableWDT() override { return 0; }
    int SetWDTTimeout_Bypass(int reserved, int seconds) override
    {
        calls += "bypass(" + std::to_string(reserved) + "," + std::to_string(seconds) + ")";
        m_nTimeoutSecond = seconds;
        return 11;
    }
    int SetWDTTimeout_ResartSys(int reserved, int seconds) override
    {
        calls += "restart(" + std::to_string(reserved) + "," + std::to_string(seconds) + ")";
        m_nTimeoutSecond = seconds;
        return 22;
    }
    int EnableBypass() override { return 0; }
    int DisableBypass() override { return 0; }
    int IsSupportWDT() override { return 1; }
    std::string calls;
};

using BaseTool = TraceTest;

TEST_F(BaseTool, ReArmsWithTheStoredTimeout)
{
    ArmingProbe tool;
    EXPECT_EQ(tool.SetWDTTimeout_Bypass_Again(7), 11);
    EXPECT_EQ(tool.SetWDTTimeout_Bypass(0, 30), 11);
    EXPECT_EQ(tool.SetWDTTimeout_ResartSys_Again(-3), 22);
    EXPECT_EQ(tool.calls, "bypass(7,5)bypass(0,30)restart(-3,30)");
    EXPECT_TRACE("");
}

TEST_F(BaseTool, InitOpensAndFiniClosesTheSharedDriverOnce)
{
    ArmingProbe tool;
    EXPECT_EQ(tool.init(), 1);
    tool.fini();
    tool.fini();
    ports.SetOpenResult(-1);
    EXPECT_EQ(tool.init(), 0);
    tool.fini();
    EXPECT_TRACE(R"(
        open -> 0
        close
        open -> -1
    )");
}

TEST_F(BaseTool, NullToolAnswersZeroAndNeverTouchesTheDriver)
{
    CNULLBypassTool tool(0);
    EXPECT_EQ(tool.init(), 1);
    EXPECT_EQ(tool.DisableWDT(), 0);
    EXPECT_EQ(tool.EnableWDT(), 0);
    EXPECT_EQ(tool.SetWDTTimeout_Bypass(0, 30), 0);
    EXPECT_EQ(tool.SetWDTTimeout_ResartSys(0, 40), 0);
    EXPECT_EQ(tool.SetWDTTimeout_Bypass_Again(0), 0);
    EXPECT_EQ(tool.SetWDTTimeout_ResartSys_Again(0), 0);
    EXPECT_EQ(tool.EnableBypass(), 0);
    EXPECT_EQ(tool.DisableBypass(), 0);
    EXPECT_EQ(tool.IsSupportWDT(), 0);

    // An open handle stays open across the null tool's fini.
    ArmingProbe board;
    board.init();
    tool.fini();
    EXPECT_TRUE(ports.IsOpen());
    board.fini();
    EXPECT_TRACE("open -> 0\nclose");
}

std::string g_product;
std::string ScriptedProduct() { return g_product; }

class Manager : public TraceTest {
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

TEST_F(Manager, UnknownTypesAndFailedIdentificationYieldTheNullToolWithTypeZero)
{
    CBypassToolManager manager;
    EXPECT_EQ(manager.GetBypassTool(), nullptr);
    for (int type : {0, 12, 100, -5, 5000, 5004}) {
        CBypassTool* tool = manager.CreateBypassTool(type);
        ASSERT_NE(tool, nullptr);
        EXPECT_EQ(typeid(*tool), typeid(CNULLBypassTool)) << type;
        EXPECT_EQ(tool->GetBypassType(), 0) << type;
        EXPECT_EQ(tool->GetTimeoutSecond(), 5);
        EXPECT_EQ(manager.GetBypassTool(), tool);
    }
    for (const char* product : {"", "unknown board", "BY_MAINBOARD", "NULL"}) {
        g_product = product;
        CBypassTool* tool = manager.CreateBypassTool(-1);
        EXPECT_EQ(typeid(*tool), typeid(CNULLBypassTool)) << product;
        EXPECT_EQ(tool->GetBypassType(), 0) << product;
    }
    manager.DestroyBypassTool();
    EXPECT_EQ(manager.GetBypassTool(), nullptr);
    manager.DestroyBypassTool();
    EXPECT_TRACE("");
}

TEST_F(Manager, TearsTheOldToolDownBeforeTheNewToolOpensTheDriver)
{
    CBypassToolManager manager;
    CBypassTool* first = manager.CreateBypassTool(7);
    EXPECT_EQ(first->GetBypassType(), 7);
    const std::type_info& firstClass = typeid(*first);
    CBypassTool* second = manager.CreateBypassTool(8);
    EXPECT_EQ(typeid(*second), firstClass); // one class keeps either type
    EXPECT_EQ(second->GetBypassType(), 8);
    EXPECT_EQ(manager.GetBypassTool(), second);
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

TEST_F(Manager, IdentifiesTheBoardByItsProductName)
{
    CBypassToolManager manager;
    g_product = "MS-96C4";
    CBypassTool* tool = manager.CreateBypassTool(-1);
    EXPECT_EQ(tool->GetBypassType(), 5);
    EXPECT_STREQ(bypass::BypassToolClassName(5), "C_945GC_BypassTool_MS");
    g_product = "Luna Pier CRB";
    EXPECT_EQ(manager.CreateBypassTool(-1)->GetBypassType(), 5001);
}

TEST_F(Manager, ProductNameFromMainBoardAnswersOneOnlyForANonEmptyName)
{
    std::string name = "old";
    g_product = "";
    EXPECT_EQ(CBypassToolManager::GetProductNameFromMainBoard(name), 0);
    EXPECT_EQ(name, "");
    g_product = "MS-96E3";
    EXPECT_EQ(CBypassToolManager::GetProductNameFromMainBoard(name), 1);
    EXPECT_EQ(name, "MS-96E3");
}

} // namespace
