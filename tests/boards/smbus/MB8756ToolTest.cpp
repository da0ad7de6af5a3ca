#include "boards/smbus/MB8756BypassTool.h"
#include "framework/BypassToolManager.h"
#include "support/TraceTest.h"

#include <string>
#include <typeinfo>

namespace {

using namespace testing::internal; // CaptureStdout, CaptureStderr and their results

const std::string kOpenAndFindF000 = R"(
    open -> 0
    out32 CF8 8000FB08
    in32 CFC -> 0C050000
    out32 CF8 8000FB20
    in32 CFC -> 0000F001
)";

// One byte-data write to the bypass controller (address 0x37) through the
// host controller at 0xF000: completed with a clean status, or ended by a
// device error.
std::string Write(const std::string& reg, const std::string& value, bool ok = true)
{
    return "out8 F000 FF\n sleep 50\n in8 F000 -> 00\n in8 F000 -> 00\n out8 F003 " + reg
        + "\n out8 F004 6E\n out8 F005 " + value + "\n out8 F002 48\n sleep 50\n"
        + (ok ? "in8 F000 -> 00\n in8 F000 -> 00\n" : "in8 F000 -> 44\n");
}
std::string Failed(const std::string& reg, const std::string& value)
{
    return Write(reg, value, false);
}

class MB8756 : public bypass::test::TraceTest {
protected:
    void FindControllerAtF000() { ports.Script(0xCFC, {0x0C050000, 0x0000F001}); }
    // Status reads for writes that complete (true) or end by a device error.
    void ScriptWrites(std::initializer_list<bool> completes)
    {
        for (bool ok : completes)
            ok ? ports.Script(0xF000, {0, 0, 0, 0}) : ports.Script(0xF000, {0, 0, 0x44});
    }
};

TEST_F(MB8756, Type5003SetsUpThreeSegmentsAndWritesEachOperationsRegistersInOrder)
{
    FindControllerAtF000();
    ports.SetValue(0xF000, 0x00);
    CaptureStdout();
    CBypassToolManager manager;
    CBypassTool* tool = manager.CreateBypassTool(5003);
    EXPECT_EQ(GetCapturedStdout(), "probe_smbus_controller = F000\n");
    EXPECT_EQ(typeid(*tool), typeid(C_MB8756_BypassTool));
    EXPECT_EQ(tool->GetBypassType(), 5003);
    EXPECT_TRACE(kOpenAndFindF000 + Write("10", "07") + Write("11", "07"));

    EXPECT_EQ(tool->EnableWDT(), 0);
    EXPECT_TRACE(Write("24", "00"));
    EXPECT_EQ(tool->SetWDTTimeout_Bypass(0, 300), 0);
    EXPECT_TRACE(Write("22", "2C") + Write("24", "00"));
    EXPECT_EQ(tool->SetWDTTimeout_ResartSys(0, 40), 0);
    EXPECT_EQ(tool->SetWDTTimeout_ResartSys_Again(0), 0);
    EXPECT_TRACE("");
    EXPECT_EQ(tool->GetTimeoutSecond(), 300);
    EXPECT_EQ(tool->SetWDTTimeout_Bypass_Again(0), 0);
    EXPECT_TRACE(Write("22", "2C") + Write("24", "00"));
    EXPECT_EQ(tool->EnableBypass(), 0);
    EXPECT_TRACE(Write("12", "07"));
    EXPECT_EQ(tool->DisableWDT(), 0);
    EXPECT_TRACE(Write("12", "00") + Write("25", "00"));
    EXPECT_EQ(tool->DisableBypass(), 0);
    EXPECT_TRACE(Write("12", "00") + Write("25", "00") + Write("12", "00"));
    EXPECT_EQ(tool->IsSupportWDT(), 1);
    manager.DestroyBypassTool();
    EXPECT_TRACE("close");
}

TEST_F(MB8756, OperationsAnswerTheirLastWriteExceptInitAndDisableWDT)
{
    C_MB8756_BypassTool tool(5003);
    FindControllerAtF000();
    ScriptWrites({false, false, false, true, true, false, false, false, false, false, true});
    CaptureStdout();
    CaptureStderr();
    EXPECT_EQ(tool.init(), 0);
    EXPECT_TRACE(kOpenAndFindF000 + Failed("10", "07") + Failed("11", "07"));
    EXPECT_EQ(tool.SetWDTTimeout_Bypass(0, 1), 0);
    EXPECT_EQ(tool.SetWDTTimeout_Bypass(0, 2), -1);
    EXPECT_TRACE(Failed("22", "01") + Write("24", "00") + Write("22", "02") + Failed("24", "00"));
    EXPECT_EQ(tool.DisableWDT(), 0);
    EXPECT_EQ(tool.DisableBypass(), 0);
    EXPECT_TRACE(Failed("12", "00") + Failed("25", "00") + Failed("12", "00") + Failed("25", "00")
        + Write("12", "00"));
    ScriptWrites({true, true, false, false, false});
    EXPECT_EQ(tool.DisableBypass(), -1);
    EXPECT_EQ(tool.EnableBypass(), -1);
    EXPECT_EQ(tool.EnableWDT(), -1);
    EXPECT_TRACE(Write("12", "00") + Write("25", "00") + Failed("12", "00") + Failed("12", "07")
        + Failed("24", "00"));
    std::string errors;
    for (int i = 0; i < 11; ++i)
        errors += "SMBus Error = 44\n";
    EXPECT_EQ(GetCapturedStderr(), errors);
    GetCapturedStdout();
}

TEST_F(MB8756, WithoutDriverOrControllerNoPortIsTouchedAndWritesAnswerMinusOne)
{
    auto expectNoWrites = [this](CBypassTool& tool) {
        EXPECT_EQ(tool.DisableWDT(), -1);
        EXPECT_EQ(tool.EnableWDT(), -1);
        EXPECT_EQ(tool.SetWDTTimeout_Bypass(0, 30), -1);
        EXPECT_EQ(tool.SetWDTTimeout_Bypass_Again(0), -1);
        EXPECT_EQ(tool.EnableBypass(), -1);
        EXPECT_EQ(tool.DisableBypass(), -1);
        EXPECT_EQ(tool.GetTimeoutSecond(), 30);
        EXPECT_TRACE("");
    };
    CaptureStdout();
    ports.SetOpenResult(-1);
    C_MB8756_BypassTool closed(5003);
    EXPECT_EQ(closed.init(), 0);
    EXPECT_TRACE("open -> -1");
    expectNoWrites(closed);
    EXPECT_EQ(GetCapturedStdout(), "");

    CaptureStdout();
    ports.SetOpenResult(0);
    ports.Script(0xCFC, {0x0C030000}); // a USB controller in the SMBus slot
    {
        C_MB8756_BypassTool tool(5003);
        EXPECT_EQ(tool.init(), 0);
        EXPECT_TRACE("open -> 0\n out32 CF8 8000FB08\n in32 CFC -> 0C030000");
        expectNoWrites(tool);
    }
    EXPECT_EQ(GetCapturedStdout(), "probe_smbus_controller = 0000\n");
    EXPECT_TRACE("close"); // by the destructor

    // fini closes the driver and forgets the controller.
    FindControllerAtF000();
    ports.SetValue(0xF000, 0x00);
    CaptureStdout();
    closed.init();
    closed.fini();
    EXPECT_EQ(GetCapturedStdout(), "probe_smbus_controller = F000\n");
    EXPECT_TRACE(kOpenAndFindF000 + Write("10", "07") + Write("11", "07") + "close");
    expectNoWrites(closed);
}

} // namespace
