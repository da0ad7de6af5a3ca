// The shipped DLL, loaded by a program that knows only its three exported
// headers, driving the simulated PortTalk driver through real device I/O
// control requests. Each test compares the driver's own record of the
// conversation with the one the board's trace test expects.
#include "framework/BypassInfo.h"
#include "framework/BypassTool.h"
#include "framework/BypassToolManager.h"

#include "SimClient.h"
#include "boards/msi/MsiTraces.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using namespace bypass::test; // the MSI Super I/O trace pieces
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;
using Operation = std::function<int(CBypassTool&)>;

class DllEndToEnd : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.IsLoaded()) << "the PortTalk driver is not running";
        sim.Reset();
    }

    // Scripts the reads of the expected conversation, runs it, and compares
    // what the driver saw with it.
    testing::AssertionResult Converses(
        const std::function<void()>& run, const std::string& expected)
    {
        const auto lines = DriverView(expected);
        sim.ClearTrace();
        sim.ScriptReads(ReadsOf(lines));
        run();
        const auto seen = sim.Trace();
        if (seen == lines)
            return testing::AssertionSuccess();
        auto failure = testing::AssertionFailure() << "the driver saw:\n";
        for (const auto& line : seen)
            failure << "  " << line << "\n";
        failure << "expected:\n";
        for (const auto& line : lines)
            failure << "  " << line << "\n";
        return failure;
    }

    // A fresh tool of type whose operation holds the expected conversation;
    // whatever its init sent is not part of it.
    testing::AssertionResult OperationConverses(
        int type, const Operation& operation, const std::string& expected)
    {
        CBypassToolManager manager;
        CBypassTool* tool = manager.CreateBypassTool(type);
        if (tool->GetBypassType() != type)
            return testing::AssertionFailure()
                << "type " << type << " made a tool of type " << tool->GetBypassType();
        return Converses([&] { operation(*tool); }, expected) << "(type " << type << ")";
    }

    // Wine hands the driver the close of a device handle after CloseHandle
    // has returned; an open, in contrast, completes before CreateFile does.
    void AwaitCloses(unsigned long closes)
    {
        for (int i = 0; i < 200 && sim.Counts().closes < closes; ++i)
            Sleep(10);
    }

    SimDriver sim;
};

TEST_F(DllEndToEnd, EachPrimitiveCarriesPortWidthAndValueAndReadsReturnTheScriptedAnswer)
{
    CaptureStdout();
    // 8 bits: the 1045 board logic, written back from the byte read.
    EXPECT_TRUE(OperationConverses(1, &CBypassTool::EnableBypass, R"(
        in8 F2 -> E9
        out8 F2 F6
    )"));

    CBypassToolManager manager;
    // 16 bits: the H61-LANXUS init makes its GPIO lines outputs.
    EXPECT_TRUE(Converses([&] { manager.CreateBypassTool(10); }, R"(
        open
        out8 2E 87
        out8 2E 01
        out8 2E 55
        out8 2E 55
        out8 2E 07
        out8 2F 07
        out8 2E 71
        out8 2F 00
        out8 2E 72
        out8 2F 00
        out8 2E 73
        out8 2F 00
        out8 2E 74
        out8 2F 00
        out8 2E 02
        out8 2F 02
        in16 500 -> 0001
        out16 500 4201
        in16 530 -> 8000
        out16 530 F800
        in16 504 -> FFFF
        out16 504 BDFF
        in16 534 -> FFFF
        out16 534 87FF
        in16 50C -> 0000
        out16 50C 4200
        in16 538 -> 0400
        out16 538 7C00
    )"));
    EXPECT_EQ(GetCapturedStdout(), "");

    // 32 bits: the MB8756 init finds the SMBus host controller through PCI
    // configuration space, then sets up the bypass controller over it.
    CaptureStdout();
    const std::string controllerWrite = R"(
        out8 F000 FF
        in8 F000 -> 00
        in8 F000 -> 00
        out8 F003 {reg}
        out8 F004 6E
        out8 F005 07
        out8 F002 48
        in8 F000 -> 00
        in8 F000 -> 00
    )";
    auto writeOf = [&](const std::string& reg) {
        std::string text = controllerWrite;
        return text.replace(text.find("{reg}"), 5, reg);
    };
    EXPECT_TRUE(Converses([&] { manager.CreateBypassTool(5003); },
        R"(
        close
        open
        out32 CF8 8000FB08
        in32 CFC -> 0C050000
        out32 CF8 8000FB20
        in32 CFC -> 0000F001
    )" + writeOf("10")
            + writeOf("11")));
    EXPECT_EQ(GetCapturedStdout(), "probe_smbus_controller = F000\n");
}

TEST_F(DllEndToEnd, ManagerClosesTheOldToolsDeviceBeforeOpeningTheNextAndTheNullToolNeverOpens)
{
    {
        CBypassToolManager manager;
        manager.CreateBypassTool(4);
        manager.CreateBypassTool(7);
        EXPECT_EQ(manager.GetBypassTool()->GetBypassType(), 7);
        manager.DestroyBypassTool();
        manager.DestroyBypassTool();
    }
    AwaitCloses(2);
    EXPECT_EQ(sim.Trace(), (std::vector<std::string>{"open", "close", "open", "close"}));
    EXPECT_EQ(sim.Counts().opens, 2u);
    EXPECT_EQ(sim.Counts().closes, 2u);

    sim.ClearTrace();
    {
        CBypassToolManager manager;
        for (int type : {0, 12, 5000, -5}) {
            CBypassTool* tool = manager.CreateBypassTool(type);
            EXPECT_EQ(tool->GetBypassType(), 0);
            EXPECT_EQ(tool->EnableBypass(), 0);
            EXPECT_EQ(tool->SetWDTTimeout_Bypass(0, 30), 0);
        }
    }
    EXPECT_EQ(sim.Trace(), std::vector<std::string>{});
    EXPECT_EQ(sim.Counts().opens, 0u);
}

// Types 1, 10 and 5003 are run by the primitives test above.
TEST_F(DllEndToEnd, EveryBoardToolRunsOneOperationThroughTheDriver)
{
    const std::string iteEnter = "out8 2E 87\n out8 2E 01\n out8 2E 55\n out8 2E 55\n";
    auto iteWrite = [](const std::string& reg, const std::string& value) {
        return "out8 2E 07\n out8 2F 07\n out8 2E " + reg + "\n out8 2F " + value + "\n";
    };
    EXPECT_TRUE(OperationConverses(2, &CBypassTool::EnableWDT,
        iteEnter + iteWrite("72", "90") + iteWrite("73", "05")
            + "out8 2E 02\n in8 2F -> 01\n out8 2F 03\n"));

    EXPECT_TRUE(OperationConverses(3, &CBypassTool::EnableBypass,
        kEnter + kForceExpiry + "in8 5E -> F7\n out8 5E 0F\n" + kExit));

    EXPECT_TRUE(OperationConverses(4, &CBypassTool::EnableBypass, "out8 F3 41"));

    EXPECT_TRUE(OperationConverses(
        5, [](CBypassTool& tool) { return tool.SetWDTTimeout_ResartSys(0, 60); },
        kEnter + kSelectDevice8 + Arm("02", "3C") + kExit));

    // G41-MS: one relay latch per segment, through the chipset GPIO gate.
    auto g41Latch = [](const std::string& address, const std::string& written) {
        return "in8 48C -> 80\n in8 48C -> " + address + "\n out8 48C " + written
            + "\n in8 4B8 -> 3E\n out8 4B8 38\n in8 4B8 -> 3E\n out8 4B8 FE\n"
              "in8 48F -> 5A\n out8 48F 5B\n out8 48F 5A\n";
    };
    EXPECT_TRUE(OperationConverses(6, &CBypassTool::EnableBypass,
        kEnter + kSelectDevice8 + kForceExpiry + g41Latch("C1", "81") + g41Latch("81", "C1")
            + kExit));

    EXPECT_TRUE(OperationConverses(7, &CBypassTool::EnableBypass, "in8 F3 -> 5A\n out8 F3 77"));
    EXPECT_TRUE(OperationConverses(8, &CBypassTool::EnableBypass, "in8 F3 -> 5A\n out8 F3 7E"));

    auto modify = [](const std::string& reg, const std::string& read, const std::string& value) {
        return "out8 4E " + reg + "\n in8 4F -> " + read + "\n" + Write(reg, value);
    };
    EXPECT_TRUE(OperationConverses(9, &CBypassTool::DisableWDT,
        kEnter + modify("F0", "FF", "7E") + modify("F5", "FF", "DF") + kExit));

    EXPECT_TRUE(OperationConverses(11, &CBypassTool::EnableBypass,
        iteEnter
            + "out8 2E 07\n out8 2F 07\n out8 2E 71\n out8 2F 80\n out8 2E 72\n"
              "out8 2F 00\n out8 2E 73\n out8 2F 00\n out8 2E 74\n out8 2F 00\n"
              "out8 2E 02\n out8 2F 02\n"
              "in8 118D -> 41\n out8 118D 40\n in8 118D -> 40\n out8 118D 42\n"));

    EXPECT_TRUE(OperationConverses(5001, &CBypassTool::DisableBypass,
        "in8 801 -> 00\n out8 801 08\n in8 801 -> 08\n out8 801 18\n"));

    // D525-MS: segment 0 latched while the gate is open, segment 1 skipped
    // because it reads shut.
    EXPECT_TRUE(OperationConverses(5002, &CBypassTool::EnableBypass,
        kEnter + kSelectDevice8 + kForceExpiry
            + "in8 48C -> 80\n in8 48F -> 0F\n out8 48F 06\n in8 48D -> C0\n out8 48D 80\n"
              "in8 4B9 -> 08\n out8 4B9 0E\n in8 48F -> 06\n out8 48F 26\n out8 48F 06\n"
              "in8 48C -> 7F\n"
            + kExit));
}

} // namespace
