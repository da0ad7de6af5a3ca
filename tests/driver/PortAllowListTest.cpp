// The PortTalk driver's allow-list, compiled as the driver compiles it, and
// the board table's port rows: each row holds exactly the accesses its tool
// makes on the board's model, and the driver serves exactly their union, no
// port, width or direction more.
#include "driver/PortAllowList.h"
#include "boards/BoardTable.h"
#include "framework/BypassInfo.h"
#include "framework/ToolFactory.h"
#include "sim/BoardModel.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <tuple>

namespace {

using namespace bypass;

// One kind of access: port, width in bits, direction, and for a write of
// the PCI configuration address the address written (0 otherwise).
using Access = std::tuple<unsigned, unsigned, int, unsigned long>;

std::string Describe(const Access& access)
{
    const auto& [port, width, direction, value] = access;
    char text[40];
    std::snprintf(text, sizeof text, value ? "%s%u %X %lX" : "%s%u %X",
        direction == PORT_ACCESS_READ ? "in" : "out", width, port, value);
    return text;
}

// Passes every access on to a board model and notes its kind. With hang
// set, the SMBus host at smbusBase stays busy once a transaction starts, so
// that the tool's timeout path (the kill of a hung transaction) runs too.
class AccessCollector : public PortBackend {
public:
    AccessCollector(sim::BoardModel& board, std::uint16_t smbusBase, bool hang)
        : m_board(board)
        , m_smbusBase(smbusBase)
        , m_hang(hang)
    {
    }

    int Open() override { return m_board.Open(); }
    void Close() override { m_board.Close(); }
    std::uint8_t In8(std::uint16_t port) override
    {
        Note(port, 8, PORT_ACCESS_READ);
        const std::uint8_t value = m_board.In8(port);
        return m_hung && port == m_smbusBase ? std::uint8_t(value | 0x01) : value;
    }
    std::uint16_t In16(std::uint16_t port) override
    {
        Note(port, 16, PORT_ACCESS_READ);
        return m_board.In16(port);
    }
    std::uint32_t In32(std::uint32_t port) override
    {
        Note(port, 32, PORT_ACCESS_READ);
        return m_board.In32(port);
    }
    void Out8(std::uint16_t port, std::uint8_t value) override
    {
        Note(port, 8, PORT_ACCESS_WRITE);
        m_hung = m_hung || (m_hang && port == m_smbusBase + 2 && (value & 0x40));
        m_board.Out8(port, value);
    }
    void Out16(std::uint16_t port, std::uint16_t value) override
    {
        Note(port, 16, PORT_ACCESS_WRITE);
        m_board.Out16(port, value);
    }
    void Out32(std::uint32_t port, std::uint32_t value) override
    {
        Note(port, 32, PORT_ACCESS_WRITE, port == PCI_ADDRESS_PORT ? value : 0);
        m_board.Out32(port, value);
    }
    void SleepMs(unsigned ms) override { m_board.SleepMs(ms); }

    std::set<Access> seen;

private:
    void Note(unsigned port, unsigned width, int direction, unsigned long value = 0)
    {
        seen.emplace(port, width, direction, value);
    }

    sim::BoardModel& m_board;
    std::uint16_t m_smbusBase;
    bool m_hang;
    bool m_hung = false;
};

void RunEveryOperation(int type)
{
    std::unique_ptr<CBypassTool> tool(MakeBypassTool(type));
    char description[256] = {};
    tool->init();
    for (int seconds : {1, 30, 255}) {
        tool->SetWDTTimeout_Bypass(0, seconds);
        tool->SetWDTTimeout_ResartSys(0, seconds);
    }
    tool->SetWDTTimeout_Bypass_Again(0);
    tool->SetWDTTimeout_ResartSys_Again(0);
    tool->EnableWDT();
    tool->DisableWDT();
    tool->EnableBypass();
    tool->DisableBypass();
    tool->IsSupportWDT();
    tool->GetCurDesc(description);
    if (FindBoard(type)->readWatchdog)
        FindBoard(type)->readWatchdog();
    tool->fini();
}

// The SMBus host of the G41-LS model sits at 0xF000.
constexpr std::uint16_t kModelSmbusBase = 0xF000;

// What the tool of the row's type touches on its model, the SMBus host
// answering once normally and once stuck busy.
std::set<Access> AccessesOf(const BoardRow& row)
{
    std::set<Access> all;
    for (bool hang : {false, true}) {
        auto board = sim::CreateBoardModel(row.type);
        AccessCollector collector(*board, kModelSmbusBase, hang);
        PortBackend* previous = SetPortBackend(&collector);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        RunEveryOperation(row.type);
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        SetPortBackend(previous);
        all.insert(collector.seen.begin(), collector.seen.end());
    }
    return all;
}

// The row's ports as accesses; the PCI address port takes the two
// configuration addresses of the SMBus controller.
std::set<Access> Expand(const BoardRow& row)
{
    std::set<Access> accesses;
    for (const PortUse& use : row.ports) {
        const unsigned port = use.port + (use.smbusWindow ? kModelSmbusBase : 0);
        for (unsigned width : {8u, 16u, 32u}) {
            if (!(use.widths & (width / 8)))
                continue;
            if (use.directions & kPortRead)
                accesses.emplace(port, width, PORT_ACCESS_READ, 0);
            if (!(use.directions & kPortWrite))
                continue;
            if (port == PCI_ADDRESS_PORT) {
                accesses.emplace(port, width, PORT_ACCESS_WRITE, SMBUS_CLASS_ADDRESS);
                accesses.emplace(port, width, PORT_ACCESS_WRITE, SMBUS_BASE_ADDRESS);
            } else {
                accesses.emplace(port, width, PORT_ACCESS_WRITE, 0);
            }
        }
    }
    return accesses;
}

std::set<Access> AllowListOn(const PortPlatform& platform)
{
    std::set<Access> served;
    for (unsigned port = 0; port <= 0xFFFF; ++port)
        for (unsigned width : {8u, 16u, 32u})
            for (int direction : {PORT_ACCESS_READ, PORT_ACCESS_WRITE}) {
                const bool address
                    = port == PCI_ADDRESS_PORT && width == 32 && direction == PORT_ACCESS_WRITE;
                for (unsigned long value : address
                        ? std::set<unsigned long>{SMBUS_CLASS_ADDRESS, SMBUS_BASE_ADDRESS,
                            0x80000000ul, 0x8000FB10ul, 0x8000FA20ul}
                        : std::set<unsigned long>{0}) {
                    if (PortAccessAllowed(port, width, direction, value, &platform))
                        served.emplace(port, width, direction, value);
                }
            }
    return served;
}

std::string Listed(const std::set<Access>& accesses)
{
    std::ostringstream text;
    for (const auto& access : accesses)
        text << "  " << Describe(access) << "\n";
    return text.str();
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
        {0x0C050000, 0x00000001, 0}, // the I/O flag alone
        {0x0C050000, 0x1234E041, 0}, // upper bits set
        {0x0C050000, 0x0000F000, 0}, // a memory window
        {0x0C030000, 0x0000F001, 0}, // a USB controller
        {0xFFFFFFFF, 0x0000F001, 0}, // nothing at 0/31/3
    };
    for (const auto& c : cases)
        EXPECT_EQ(SmbusBaseFromConfig(c.classRegister, c.baseRegister), c.base)
            << std::hex << c.classRegister << " " << c.baseRegister;
}

} // namespace
