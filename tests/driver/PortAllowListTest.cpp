// The PortTalk driver's allow-list, compiled as the driver compiles it, and the
// board table's port rows: each row holds exactly the accesses its tool makes on
// the board's model; the driver serves their union, no port, width or way more.
#include "driver/PortAllowList.h"
#include "boards/BoardTable.h"
#include "framework/ToolFactory.h"
#include "portio/TraceBackend.h"
#include "sim/BoardModel.h"
#include "support/TraceFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <utility>

namespace {

using namespace bypass;

// One kind of access: port, width in bits, direction, and for a write of
// the PCI configuration address the address written (0 otherwise).
using Access = std::tuple<unsigned, unsigned, int, unsigned long>;

// Forwards every access to a board model and records it, but lets no time
// pass there: a transaction the SMBus host starts never ends, so the tool's
// path for a hung controller (the kill) runs too.
class StoppedClock : public TraceBackend {
public:
    using TraceBackend::TraceBackend;
    void SleepMs(unsigned) override { }
};

void RunEveryOperation(int type)
{
    std::unique_ptr<CBypassTool> tool(MakeBypassTool(type));
    char description[256] = {};
    for (const char* operation : {"init", "arm-bypass-1", "arm-restart-1", "arm-bypass-30",
             "arm-restart-30", "arm-bypass-255", "arm-restart-255", "kick-bypass", "kick-restart",
             "enable-wdt", "disable-wdt", "enable-bypass", "disable-bypass"})
        test::OperationNamed(operation)(*tool);
    tool->GetCurDesc(description);
    if (FindBoard(type)->readWatchdog)
        FindBoard(type)->readWatchdog();
    tool->fini();
}

constexpr std::uint16_t kModelSmbusBase = 0xF000; // the G41-LS model's SMBus host

// What the tool of the row's type touches on its model, once with the
// model's clock running and once with it stopped.
std::set<Access> AccessesOf(const BoardRow& row)
{
    std::set<Access> accesses;
    for (bool clockRuns : {true, false}) {
        auto board = sim::CreateBoardModel(row.type);
        std::unique_ptr<TraceBackend> recorder(
            clockRuns ? new TraceBackend(board.get()) : new StoppedClock(board.get()));
        PortBackend* previous = SetPortBackend(recorder.get());
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        RunEveryOperation(row.type);
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        SetPortBackend(previous);
        for (const std::string& line : recorder->Lines()) {
            unsigned width = 0, port = 0;
            unsigned long value = 0;
            if (std::sscanf(line.c_str(), "in%u %x", &width, &port) == 2)
                accesses.emplace(port, width, PORT_ACCESS_READ, 0);
            else if (std::sscanf(line.c_str(), "out%u %x %lx", &width, &port, &value) == 3)
                accesses.emplace(
                    port, width, PORT_ACCESS_WRITE, port == PCI_ADDRESS_PORT ? value : 0);
        }
    }
    return accesses;
}

// The row's ports as accesses; writes of the PCI address port take the two
// configuration addresses of the SMBus controller (elsewhere both are 0).
std::set<Access> Expand(const BoardRow& row)
{
    std::set<Access> accesses;
    for (const PortUse& use : row.ports)
        for (unsigned width : {8u, 16u, 32u})
            for (auto [bit, direction] :
                {std::pair{kPortRead, PORT_ACCESS_READ}, {kPortWrite, PORT_ACCESS_WRITE}}) {
                const unsigned port = use.port + (use.smbusWindow ? kModelSmbusBase : 0);
                if (!(use.widths & width / 8) || !(use.directions & bit))
                    continue;
                const bool address = port == PCI_ADDRESS_PORT && direction == PORT_ACCESS_WRITE;
                accesses.emplace(port, width, direction, address ? SMBUS_CLASS_ADDRESS : 0);
                accesses.emplace(port, width, direction, address ? SMBUS_BASE_ADDRESS : 0);
            }
    return accesses;
}

// What the driver serves on platform; the PCI address port is tried with the
// controller's two addresses, another of its registers and another function.
std::set<Access> AllowListOn(const PortPlatform& platform)
{
    std::set<Access> served;
    for (unsigned port = 0; port <= 0xFFFF; ++port)
        for (unsigned width : {8u, 16u, 32u})
            for (int direction : {PORT_ACCESS_READ, PORT_ACCESS_WRITE})
                for (unsigned long address :
                    {SMBUS_CLASS_ADDRESS, SMBUS_BASE_ADDRESS, 0x8000FB10ul, 0x8000FA20ul}) {
                    const unsigned long value
                        = port == PCI_ADDRESS_PORT && direction == PORT_ACCESS_WRITE ? address : 0;
                    if (PortAccessAllowed(port, width, direction, value, &platform))
                        served.emplace(port, width, direction, value);
                }
    return served;
}

std::string Listed(const std::set<Access>& accesses)
{
    std::string text;
    for (const auto& [port, width, direction, value] : accesses) {
        char line[48];
        std::snprintf(line, sizeof line, value ? "  %s%u %X %lX\n" : "  %s%u %X\n",
            direction == PORT_ACCESS_READ ? "in" : "out", width, port, value);
        text += line;
    }
    return text;
}

TEST(PortAllowList, ServesExactlyTheBoardRowsWhichAreWhatEachToolTouches)
{
    std::set<Access> used;
    for (const BoardRow& row : BoardTable()) {
        const std::set<Access> listed = Expand(row);
        EXPECT_EQ(Listed(AccessesOf(row)), Listed(listed)) << "type " << row.type;
        used.insert(listed.begin(), listed.end());
    }
    EXPECT_EQ(Listed(AllowListOn(PortPlatform{kModelSmbusBase})), Listed(used));

    // Without an SMBus controller its window is closed, not opened at 0.
    std::set<Access> outsideWindow;
    for (const auto& access : used)
        if ((std::get<0>(access) & 0xFFF0) != kModelSmbusBase)
            outsideWindow.insert(access);
    EXPECT_EQ(Listed(AllowListOn(PortPlatform{0})), Listed(outsideWindow));
}

// The window comes from what the controller's class code and base address
// registers read at start; only a plausible I/O window is taken.
TEST(PortAllowList, TakesOnlyAPlausibleSmbusIoWindow)
{
    const struct {
        unsigned long classRegister, baseRegister;
        unsigned short base;
    } cases[] = {
        {0x0C050002, 0x0000F001, 0xF000},
        {0x0C050000, 0x0000FFE1, 0xFFE0}, // the highest that holds the registers
        {0x0C050000, 0x00001001, 0x1000},
        {0x0C050000, 0x0000FFF1, 0}, // the registers would wrap past 0xFFFF
        {0x0C050000, 0x00000F01, 0}, // among the legacy devices
        {0x0C050000, 0x1234E041, 0}, // upper bits set
        {0x0C050000, 0x0000F000, 0}, // a memory window
        {0x0C030000, 0x0000F001, 0}, // a USB controller
    };
    for (const auto& c : cases)
        EXPECT_EQ(SmbusBaseFromConfig(c.classRegister, c.baseRegister), c.base)
            << std::hex << c.classRegister << " " << c.baseRegister;
}

} // namespace
