#include "boards/msi/945GCBypassToolMs.h"
#include "boards/msi/945GMBypassToolMs.h"
#include "boards/msi/D525BypassToolMs.h"
#include "boards/msi/G41BypassToolMs.h"
#include "boards/msi/H61BypassToolMs.h"
#include "boards/msi/MsiTraces.h"
#include "framework/BypassToolManager.h"
#include "framework/ToolFactory.h"
#include "support/TraceTest.h"

#include <string>
#include <typeinfo>

namespace {

using namespace bypass::test;
using MsiFactory = TraceTest;

TEST_F(MsiFactory, EachMsiTypeYieldsItsOwnToolWithTheDefaultTimeout)
{
    struct Row {
        int type;
        const std::type_info& tool;
        const char* name;
    };
    const Row rows[] = {
        {6, typeid(C_G41_BypassTool_MS), "C_G41_BypassTool_MS"},
        {3, typeid(C945GMBypassTool_MS), "C945GMBypassTool_MS"},
        {5, typeid(C_945GC_BypassTool_MS), "C_945GC_BypassTool_MS"},
        {5002, typeid(C_D525_BypassTool_MS), "C_D525_BypassTool_MS"},
        {9, typeid(C_H61_BypassTool_MS), "C_H61_BypassTool_MS"},
    };
    CBypassToolManager manager;
    for (const Row& row : rows) {
        CBypassTool* tool = manager.CreateBypassTool(row.type);
        EXPECT_EQ(typeid(*tool), row.tool) << row.type;
        EXPECT_STREQ(bypass::BypassToolClassName(row.type), row.name);
        EXPECT_EQ(tool->GetBypassType(), row.type);
        EXPECT_EQ(tool->GetTimeoutSecond(), 5);
        EXPECT_EQ(tool->IsSupportWDT(), 1);
        manager.DestroyBypassTool();
        EXPECT_TRACE("open -> 0\nclose");
    }
}

template <class Tool> class MsiTool : public TraceTest {
};
using AllMsiTools = ::testing::Types<C_G41_BypassTool_MS, C945GMBypassTool_MS,
    C_945GC_BypassTool_MS, C_D525_BypassTool_MS, C_H61_BypassTool_MS>;
TYPED_TEST_SUITE(MsiTool, AllMsiTools);

TYPED_TEST(MsiTool, EnableWDTReloadsTheCounterWithTheLowByteOfTheStoredTimeout)
{
    TypeParam tool(0);
    struct Case {
        int seconds;
        const char* counter;
    };
    for (const Case& c : {Case{5, "05"}, Case{256, "00"}, Case{300, "2C"}, Case{-1, "FF"}}) {
        if (c.seconds != 5)
            tool.SetWDTTimeout_Bypass(0, c.seconds);
        this->ports.ClearTrace();
        EXPECT_EQ(tool.GetTimeoutSecond(), c.seconds);
        EXPECT_EQ(tool.EnableWDT(), 0);
        EXPECT_TRUE(this->Trace(kEnter + Write("F6", c.counter) + kExit));
    }
}

template <class Tool> class MsiDevice8Tool : public TraceTest {
};
using Device8Tools = ::testing::Types<C_G41_BypassTool_MS, C945GMBypassTool_MS,
    C_945GC_BypassTool_MS, C_D525_BypassTool_MS>;
TYPED_TEST_SUITE(MsiDevice8Tool, Device8Tools);

TYPED_TEST(MsiDevice8Tool, DisableWDTClearsTheStatusThenDeactivatesTheSelectedDevice)
{
    TypeParam tool(0);
    this->ports.Script(0x4F, {0x5B});
    EXPECT_EQ(tool.DisableWDT(), 0);
    EXPECT_TRUE(this->Trace(kEnter + kClearStatus + Write("30", "00") + kExit));
}

template <class Tool> class MsiLatchTool : public TraceTest {
};
using LatchTools = ::testing::Types<C_G41_BypassTool_MS, C_D525_BypassTool_MS>;
TYPED_TEST_SUITE(MsiLatchTool, LatchTools);

TYPED_TEST(MsiLatchTool, ArmingLatchesBothSegmentsFirstAndStillArmsWithTheGateShut)
{
    TypeParam tool(6);
    this->ports.SetValue(0x48C, 0x7F);
    this->ports.Script(0x4F, {0x07, 0x5B, 0x07, 0x5B});
    EXPECT_EQ(tool.SetWDTTimeout_Bypass(0, 30), 0);
    EXPECT_EQ(tool.SetWDTTimeout_ResartSys_Again(0), 0);
    const std::string shutLatches = "in8 48C -> 7F\nin8 48C -> 7F\n";
    EXPECT_TRUE(this->Trace(kEnter + kSelectDevice8 + shutLatches + Arm("00", "1E") + kExit + kEnter
        + kSelectDevice8 + shutLatches + Arm("02", "1E") + kExit));
    EXPECT_EQ(this->ports.SleptMs(), 0u);
}

} // namespace
