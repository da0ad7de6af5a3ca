// The board table against what it describes: the exported catalogue, the
// classes the factory really builds, and the ports every tool really touches
// on its board's model.
#include "boards/BoardTable.h"
#include "framework/BypassInfo.h"
#include "framework/ToolFactory.h"
#include "portio/TraceBackend.h"
#include "sim/BoardModel.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <set>
#include <string>
#include <tuple>
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
    ASSERT_EQ(BoardTable().size(), 15u);
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
    }
}

using Access = std::tuple<unsigned, unsigned, char>; // port, width in bytes, 'r' or 'w'

std::set<Access> Expand(const BoardRow& row, unsigned smbusBase)
{
    std::set<Access> accesses;
    for (const PortUse& use : row.ports) {
        const unsigned port = use.port + (use.smbusWindow ? smbusBase : 0);
        for (unsigned width : {1u, 2u, 4u}) {
            if (use.widths & width) {
                if (use.directions & kPortRead)
                    accesses.insert({port, width, 'r'});
                if (use.directions & kPortWrite)
                    accesses.insert({port, width, 'w'});
            }
        }
    }
    return accesses;
}

std::set<Access> AccessesOf(const std::vector<std::string>& lines)
{
    std::set<Access> accesses;
    for (const std::string& line : lines) {
        char kind[8] = {};
        unsigned port = 0, bits = 0;
        if (line.rfind("in", 0) != 0 && line.rfind("out", 0) != 0)
            continue; // sleeps, opens and closes reach no port
        std::sscanf(line.c_str(), "%7s %x", kind, &port);
        const bool write = kind[0] == 'o';
        std::sscanf(kind + (write ? 3 : 2), "%u", &bits);
        accesses.insert({port, bits / 8, write ? 'w' : 'r'});
    }
    return accesses;
}

std::string Text(const std::set<Access>& accesses)
{
    std::string text;
    char item[32];
    for (const Access& access : accesses) {
        std::snprintf(item, sizeof item, " %c%u@%X", std::get<2>(access), 8 * std::get<1>(access),
            std::get<0>(access));
        text += item;
    }
    return text;
}

// Where the board model's SMBus host controller decodes, as its base address
// register says.
unsigned SmbusBaseOf(sim::BoardModel& board)
{
    board.Out32(0xCF8, 0x8000FB20);
    return board.In32(0xCFC) & 0xFFFE;
}

void RunEveryOperation(CBypassTool& tool)
{
    char description[256] = {};
    tool.init();
    for (int seconds : {1, 30, 255}) {
        tool.SetWDTTimeout_Bypass(0, seconds);
        tool.SetWDTTimeout_ResartSys(0, seconds);
    }
    tool.SetWDTTimeout_Bypass_Again(0);
    tool.SetWDTTimeout_ResartSys_Again(0);
    tool.EnableWDT();
    tool.DisableWDT();
    tool.EnableBypass();
    tool.DisableBypass();
    tool.IsSupportWDT();
    tool.GetCurDesc(description);
    tool.fini();
}

// Every operation of every board's tool on the board's model touches exactly
// the row's ports, widths and directions: the driver's allow-list and the
// documentation rely on the rows.
TEST(BoardTable, PortsAreExactlyThoseEachToolTouchesOnItsBoard)
{
    for (const BoardRow& row : BoardTable()) {
        std::unique_ptr<sim::BoardModel> board = sim::CreateBoardModel(row.type);
        ASSERT_NE(board, nullptr) << "type " << row.type;
        EXPECT_EQ(board->SegmentCount(), row.segments) << "type " << row.type;
        const unsigned smbusBase = SmbusBaseOf(*board);
        TraceBackend recorder(board.get());
        PortBackend* previous = SetPortBackend(&recorder);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        {
            std::unique_ptr<CBypassTool> tool(MakeBypassTool(row.type));
            RunEveryOperation(*tool);
        }
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        SetPortBackend(previous);
        const std::set<Access> touched = AccessesOf(recorder.Lines());
        const std::set<Access> listed = Expand(row, smbusBase);
        EXPECT_EQ(Text(touched), Text(listed)) << "type " << row.type;
    }
}

} // namespace
