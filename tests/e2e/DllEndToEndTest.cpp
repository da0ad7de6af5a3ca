// The shipped DLL, loaded by a program that knows only its three exported
// headers, driving the simulated PortTalk driver through real device I/O
// control requests. Each test compares the driver's own record of the
// conversation with the one the board's trace test expects.
#include "framework/BypassInfo.h"
#include "framework/BypassTool.h"
#include "framework/BypassToolManager.h"

#include "SimClient.h"
#include "boards/lanxus/LanxusTraces.h"
#include "boards/msi/MsiTraces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>

namespace {

using namespace bypass::test; // the MSI Super I/O trace pieces
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;
using Operation = std::function<int(CBypassTool&)>;

// What the driver itself does before it serves a byte access outside its
// fixed list: it reads the SMBus controller's class and base at 0/31/3 to
// see whether the port is one of the controller's, and puts back the
// configuration address the library had selected (here 0x8000FB20).
const char kDriverReadsBase[] = R"(
    in32 CF8 -> 8000FB20
    out32 CF8 8000FB08
    in32 CFC -> 0C050000
    out32 CF8 8000FB20
    in32 CFC -> 0000F001
    out32 CF8 8000FB20
)";

// An SMBus controller conversation as the driver sees it: its own base
// read before each access to the controller's window at 0xF000.
std::string WithDriverBaseReads(const std::string& conversation)
{
    std::istringstream lines(conversation);
    std::string line, seen;
    while (std::getline(lines, line)) {
        if (line.find(" F00") != std::string::npos)
            seen += kDriverReadsBase;
        seen += line + "\n";
    }
    return seen;
}

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
        testing::AssertionResult result = testing::AssertionSuccess();
        {
            CBypassToolManager manager;
            CBypassTool* tool = manager.CreateBypassTool(type);
            result = tool->GetBypassType() == type
                ? Converses([&] { operation(*tool); }, expected)
                : testing::AssertionFailure() << "made a tool of type " << tool->GetBypassType();
        }
        AwaitAllClosed();
        return result << " (type " << type << ")";
    }

    void TearDown() override { AwaitAllClosed(); }

    // Wine hands the driver the close of a device handle after CloseHandle
    // has returned (an open, in contrast, completes before CreateFile does):
    // wait for it, so that it does not land in a later conversation.
    void AwaitAllClosed()
    {
        for (int i = 0; i < 200 && sim.Counts().openNow > 0; ++i)
            Sleep(10);
        EXPECT_EQ(sim.Counts().openNow, 0u) << "a device handle was never closed";
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

    // 16 bits: the H61-LANXUS init makes its GPIO lines outputs.
    CBypassToolManager lanxus;
    EXPECT_TRUE(Converses([&] { lanxus.CreateBypassTool(10); },
        "open\n"
            + bypass::test::LanxusSioSequence(
                {{"71", "00"}, {"72", "00"}, {"73", "00"}, {"74", "00"}})
            + R"(
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
    lanxus.DestroyBypassTool();
    AwaitAllClosed();
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
    const std::string findController = R"(
        open
        out32 CF8 8000FB08
        in32 CFC -> 0C050000
        out32 CF8 8000FB20
        in32 CFC -> 0000F001
    )";
    CBypassToolManager mb8756;
    EXPECT_TRUE(Converses([&] { mb8756.CreateBypassTool(5003); },
        findController + WithDriverBaseReads(writeOf("10") + writeOf("11"))));
    EXPECT_EQ(GetCapturedStdout(), "probe_smbus_controller = F000\n");
}

// Wine 8 dispatches the close of a device handle asynchronously, on another
// winedevice thread and after CloseHandle has returned: in about half of the
// runs the driver records the second open before the first close although
// the DLL closed first. The driver can therefore vouch for the pairing and
// the counts, not for the order; the recording backend's tests see the order.
TEST_F(DllEndToEnd, ManagerClosesEveryDeviceHandleItOpensAndTheNullToolNeverOpens)
{
    {
        CBypassToolManager manager;
        manager.CreateBypassTool(4);
        EXPECT_EQ(sim.Trace(), std::vector<std::string>{"open"});
        manager.CreateBypassTool(7);
        EXPECT_EQ(manager.GetBypassTool()->GetBypassType(), 7);
        manager.DestroyBypassTool();
        manager.DestroyBypassTool();
    }
    AwaitAllClosed();
    auto seen = sim.Trace();
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"close", "close", "open", "open"}));
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

// The driver's side of the request layout: a request one byte off in either
// size is refused and reaches no port, so a layout fault in the DLL shows as
// a failed access instead of a quietly wrong one.
TEST_F(DllEndToEnd, DriverRefusesRequestsWhoseSizesAreOffByOneAndServesExactOnes)
{
    struct Shape {
        DWORD code, in, out;
    };
    const Shape shapes[] = {{0x9C402410, 2, 1}, {0x9C402414, 3, 0}, {0x9C402424, 8, 8},
        {0x9C402428, 8, 0}, {0x9C402418, 16, 16}, {0x9C40241C, 16, 0}};
    HANDLE device = CreateFileA(
        "\\\\.\\PortTalk", GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    auto send = [&](DWORD code, unsigned char* buffer, DWORD in, DWORD out) {
        DWORD returned = 0;
        return DeviceIoControl(
            device, code, buffer, in, out ? buffer : nullptr, out, &returned, nullptr);
    };
    for (const Shape& shape : shapes) {
        for (int delta : {-1, 1}) {
            unsigned char buffer[32] = {0x80};
            const DWORD out = shape.out ? shape.out + delta : 1;
            EXPECT_FALSE(send(shape.code, buffer, shape.in + delta, shape.out));
            EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << std::hex << shape.code;
            EXPECT_FALSE(send(shape.code, buffer, shape.in, out)) << std::hex << shape.code;
        }
    }
    // A 32-bit request naming a port above the 16-bit I/O space.
    unsigned char beyond[16] = {0xFC, 0x0C, 0x01};
    EXPECT_FALSE(send(0x9C402418, beyond, 16, 16));
    EXPECT_EQ(sim.Trace(), (std::vector<std::string>{"open"}));

    // Exact requests: a 16-bit write covers two ports, low byte first.
    unsigned char write16[8] = {0x00, 0x05, 0x34, 0x12};
    unsigned char read8[2] = {0x01, 0x05};
    unsigned char read16[8] = {0x01, 0x05};
    unsigned char read32[16] = {0xFC, 0x0C};
    sim.ScriptReads({{0xCFC, 0x0C050002}});
    EXPECT_TRUE(send(0x9C402428, write16, 8, 0));
    EXPECT_TRUE(send(0x9C402410, read8, 2, 1));
    EXPECT_EQ(read8[0], 0x12);
    EXPECT_TRUE(send(0x9C402424, read16, 8, 8));
    EXPECT_EQ(read16[0] | read16[1] << 8, 0xFF12);
    EXPECT_TRUE(send(0x9C402418, read32, 16, 16));
    EXPECT_EQ(
        read32[0] | read32[1] << 8 | read32[2] << 16 | unsigned(read32[3]) << 24, 0x0C050002u);
    CloseHandle(device);
    AwaitAllClosed();
    EXPECT_EQ(sim.Trace(),
        (std::vector<std::string>{"open", "out16 500 1234", "in8 501 -> 12", "in16 501 -> FF12",
            "in32 CFC -> 0C050002", "close"}));
}

// The allow-list: a port, width or direction no board uses is answered
// ERROR_ACCESS_DENIED and never reaches the bus. For a byte port outside the
// fixed list the driver first reads the SMBus controller's base; that read
// puts back the configuration address the library had selected.
TEST_F(DllEndToEnd, DriverRefusesAccessesNoBoardMakesAndKeepsTheLibrarysPciAddress)
{
    HANDLE device = CreateFileA(
        "\\\\.\\PortTalk", GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    auto refused = [&](DWORD code, std::vector<unsigned char> request, DWORD in, DWORD out) {
        request.resize(16);
        DWORD returned = 0;
        const BOOL done = DeviceIoControl(device, code, request.data(), in,
            out ? request.data() : nullptr, out, &returned, nullptr);
        return !done && GetLastError() == ERROR_ACCESS_DENIED;
    };
    sim.ClearTrace();
    // Wider than the Super I/O's bytes, the keyboard controller's reset, a
    // PCI address of another function, the write-only address port read.
    EXPECT_TRUE(refused(0x9C402424, {0x2E}, 8, 8));
    EXPECT_TRUE(refused(0x9C402428, {0x64, 0x00, 0xFE}, 8, 0));
    EXPECT_TRUE(refused(0x9C40241C, {0xF8, 0x0C, 0, 0, 0x00, 0x00, 0x00, 0x80}, 16, 0));
    EXPECT_TRUE(refused(0x9C402418, {0xF8, 0x0C}, 16, 16));
    EXPECT_EQ(sim.Trace(), std::vector<std::string>{});

    // The library has selected the class register; a byte access to port
    // 0x80 (no controller answers at 0/31/3) is refused, and the address
    // the library selected is back in place for its read of 0xCFC.
    DWORD returned = 0;
    unsigned char select[16] = {0xF8, 0x0C, 0, 0, 0x08, 0xFB, 0x00, 0x80};
    unsigned char post[3] = {0x80, 0x00, 0x55};
    EXPECT_TRUE(DeviceIoControl(device, 0x9C40241C, select, 16, nullptr, 0, &returned, nullptr));
    sim.ScriptReads({{0xCFC, 0xFFFFFFFF}});
    EXPECT_FALSE(DeviceIoControl(device, 0x9C402414, post, 3, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    // With the controller at 0xF000, its window is served, and only it.
    sim.ScriptReads(
        {{0xCFC, 0x0C050000}, {0xCFC, 0x0000F001}, {0xCFC, 0x0C050000}, {0xCFC, 0x0000F001}});
    unsigned char inWindow[3] = {0x0F, 0xF0, 0x01};
    unsigned char pastWindow[3] = {0x10, 0xF0, 0x01};
    EXPECT_TRUE(DeviceIoControl(device, 0x9C402414, inWindow, 3, nullptr, 0, &returned, nullptr));
    EXPECT_FALSE(
        DeviceIoControl(device, 0x9C402414, pastWindow, 3, nullptr, 0, &returned, nullptr));
    CloseHandle(device);
    AwaitAllClosed();
    EXPECT_EQ(sim.Trace(),
        (std::vector<std::string>{"out32 CF8 8000FB08", "in32 CF8 -> 8000FB08",
            "out32 CF8 8000FB08", "in32 CFC -> FFFFFFFF", "out32 CF8 8000FB08",
            "in32 CF8 -> 8000FB08", "out32 CF8 8000FB08", "in32 CFC -> 0C050000",
            "out32 CF8 8000FB20", "in32 CFC -> 0000F001", "out32 CF8 8000FB08", "out8 F00F 01",
            "in32 CF8 -> 8000FB08", "out32 CF8 8000FB08", "in32 CFC -> 0C050000",
            "out32 CF8 8000FB20", "in32 CFC -> 0000F001", "out32 CF8 8000FB08", "close"}));
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
