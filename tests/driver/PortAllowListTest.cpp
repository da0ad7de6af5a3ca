// The PortTalk driver's request core and allow-list, compiled as the driver
// compiles them, and the board table's port rows: each row holds exactly the
// accesses its tool makes on the board's model; the driver serves their
// union, no port, width or way more.
#include "driver/PortAllowList.h"
#include "boards/BoardTable.h"
#include "driver/PortTalkCore.h"
#include "framework/ToolFactory.h"
#include "portio/TraceBackend.h"
#include "sim/BoardModel.h"
#include "support/TraceFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

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
        // No operation, in any order or state, breaks a rule of the hardware.
        EXPECT_EQ(board->RuleViolations(), std::vector<std::string>()) << "type " << row.type;
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

// The values a write to port is tried with: the PCI address port takes the
// controller's two addresses, another of its registers and another function;
// the SMBus host's registers every byte (which bytes is the next test's
// matter); other ports 0.
std::vector<unsigned long> TriedValues(unsigned port, const PortPlatform& platform)
{
    if (port == PCI_ADDRESS_PORT)
        return {SMBUS_CLASS_ADDRESS, SMBUS_BASE_ADDRESS, 0x8000FB10ul, 0x8000FA20ul};
    std::vector<unsigned long> values{0};
    if (platform.smbusBase && port - platform.smbusBase < 0x20)
        for (unsigned long byte = 1; byte <= 0xFF; ++byte)
            values.push_back(byte);
    return values;
}

// What the driver serves on platform, with the address for the PCI address
// port and with no value elsewhere.
std::set<Access> AllowListOn(const PortPlatform& platform)
{
    std::set<Access> served;
    for (unsigned port = 0; port <= 0xFFFF; ++port)
        for (unsigned width : {8u, 16u, 32u}) {
            if (PortAccessAllowed(port, width, PORT_ACCESS_READ, 0, &platform))
                served.emplace(port, width, PORT_ACCESS_READ, 0);
            for (unsigned long value : TriedValues(port, platform))
                if (PortAccessAllowed(port, width, PORT_ACCESS_WRITE, value, &platform))
                    served.emplace(
                        port, width, PORT_ACCESS_WRITE, port == PCI_ADDRESS_PORT ? value : 0);
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
// registers read at start; only an I/O window at a plausible base is taken.
TEST(PortAllowList, TakesOnlyAPlausibleSmbusIoWindow)
{
    const struct {
        unsigned long classRegister, baseRegister;
        unsigned short base;
    } cases[] = {
        {0x0C050002, 0x0000F001, 0xF000},
        {0x0C050000, 0x0000FFE1, 0xFFE0}, // the highest that holds the registers
        {0x0C050000, 0x00000701, 0x0700}, // QEMU's q35 (ICH9)
        {0x0C050000, 0x00000401, 0x0400}, // the lowest above the ISA range
        {0x0C050000, 0x000003E1, 0},      // the ISA range
        {0x0C050000, 0x000001E1, 0},      // the IDE ports
        {0x0C050000, 0x0000F011, 0},      // not a 32-byte window
        {0x0C050000, 0x0000FFF1, 0},      // the registers would wrap past 0xFFFF
        {0x0C050000, 0x1234E041, 0},      // upper bits set
        {0x0C050000, 0x0000F000, 0},      // a memory window
        {0x0C030000, 0x0000F001, 0},      // a USB controller
    };
    for (const auto& c : cases)
        EXPECT_EQ(SmbusBaseFromConfig(c.classRegister, c.baseRegister), c.base)
            << std::hex << c.classRegister << " " << c.baseRegister;
}

// In the SMBus host's window only the bypass controller's byte-data write is
// served; every write of every board's trace file is.
TEST(PortAllowList, SmbusWindowTakesOnlyTheBypassControllersByteDataWrite)
{
    const PortPlatform platform{kModelSmbusBase};
    const struct {
        unsigned offset;
        unsigned long value;
        bool served;
    } cases[] = {
        // The bypass controller's address, registers and the start of a
        // byte-data write are served as the trace files below use them.
        {4, 0x6F, false}, // the bypass controller 0x37, read
        {3, 0x00, false},
        {3, 0x23, false},
        {3, 0x26, false},
        {2, 0x0A, true},
        {2, 0x08, true},
        {2, 0xBF, true}, // the kill, and no start bit
        {2, 0x4A, false},
        {2, 0x44, false},
        {2, 0x54, false},
        {2, 0x49, false}, // other starts
        {5, 0xA5, true},
        {6, 0x00, false},
        {7, 0x00, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(
            PortAccessAllowed(kModelSmbusBase + c.offset, 8, PORT_ACCESS_WRITE, c.value, &platform),
            c.served)
            << "offset " << c.offset << " value " << std::hex << c.value;
    for (unsigned spd = 0x50; spd <= 0x57; ++spd)
        EXPECT_FALSE(
            PortAccessAllowed(kModelSmbusBase + 4, 8, PORT_ACCESS_WRITE, spd << 1, &platform))
            << "SPD EEPROM " << std::hex << spd;

    for (const test::TraceFile& file : test::AllTraceFiles(BYPASS_TRACE_DIR))
        for (const std::string& line : test::ParseTrace(test::ReadText(file.path))) {
            unsigned width = 0, port = 0;
            unsigned long value = 0;
            const int direction = std::sscanf(line.c_str(), "in%u %x", &width, &port) == 2
                ? PORT_ACCESS_READ
                : std::sscanf(line.c_str(), "out%u %x %lx", &width, &port, &value) == 3
                ? PORT_ACCESS_WRITE
                : 0;
            EXPECT_TRUE(!direction || PortAccessAllowed(port, width, direction, value, &platform))
                << file.name << ": " << line;
        }
}

// A host's port space that answers fixed values and logs what reaches it.
struct LoggedPorts {
    std::string log;

    template <typename... Values> static void Add(void* context, const char* format, Values... v)
    {
        char line[40];
        std::snprintf(line, sizeof line, format, v...);
        static_cast<LoggedPorts*>(context)->log += line;
    }
    template <typename T, unsigned kBits, unsigned long kAnswer>
    static T In(void* c, unsigned short port)
    {
        Add(c, "in%u %X;", kBits, unsigned(port));
        return static_cast<T>(kAnswer);
    }
    template <typename T, unsigned kBits> static void Out(void* c, unsigned short port, T value)
    {
        Add(c, "out%u %X %lX;", kBits, unsigned(port), static_cast<unsigned long>(value));
    }
    PortTalkPorts Table()
    {
        return {this, In<unsigned char, 8, 0xA5>, In<unsigned short, 16, 0xBEEF>,
            In<unsigned long, 32, 0x12345678>, Out<unsigned char, 8>, Out<unsigned short, 16>,
            Out<unsigned long, 32>, [](void* c, unsigned long address) -> unsigned long {
                Add(c, "config %lX;", address);
                // The model's SMBus controller at 0/31/3, its window at 0xF000.
                return address == SMBUS_CLASS_ADDRESS ? 0x0C050000ul
                    : address == SMBUS_BASE_ADDRESS   ? 0xF001ul
                                                      : 0xFFFFFFFFul;
            }};
    }
};

struct Request {
    unsigned long code;
    std::vector<unsigned char> bytes;
    unsigned long inSize, outSize;
    int handle = 0; // which of two open handles sends it
};

constexpr unsigned long kIn8 = PORTTALK_READ_UCHAR, kOut8 = PORTTALK_WRITE_UCHAR,
                        kIn16 = PORTTALK_READ_USHORT, kOut16 = PORTTALK_WRITE_USHORT,
                        kIn32 = PORTTALK_READ_ULONG, kOut32 = PORTTALK_WRITE_ULONG;

Request In32(unsigned port, int handle = 0)
{
    return {kIn32, {std::uint8_t(port), std::uint8_t(port >> 8)}, 16, 16, handle};
}

Request Out32(unsigned port, unsigned long value, int handle = 0)
{
    std::vector<unsigned char> bytes{std::uint8_t(port), std::uint8_t(port >> 8), 0, 0};
    for (int i = 0; i < 4; ++i)
        bytes.push_back(std::uint8_t(value >> (8 * i)));
    return {kOut32, bytes, 16, 0, handle};
}

Request Out8(unsigned port, unsigned value)
{
    return {kOut8, {std::uint8_t(port), std::uint8_t(port >> 8), std::uint8_t(value)}, 3, 0};
}

// Requests sent in order on two handles of one device that learned its
// platform from the host's configuration space; the last one's outcome and
// answer, and every access that reached the host's ports after the start.
TEST(PortTalkCore, ChecksShapeThenAllowListAndEmulatesPciConfigurationPerHandle)
{
    struct Case {
        const char* what;
        std::vector<Request> requests;
        PortTalkOutcome outcome;
        std::string reached;
        unsigned long answered, answer;
    };
    std::vector<Case> cases = {
        {"in8 2F", {{kIn8, {0x2F, 0}, 2, 1}}, PORTTALK_DONE, "in8 2F;", 1, 0xA5},
        {"out8 4E", {{kOut8, {0x4E, 0, 0x87}, 3, 0}}, PORTTALK_DONE, "out8 4E 87;", 0, 0},
        {"in16 500", {{kIn16, {0x00, 0x05}, 8, 8}}, PORTTALK_DONE, "in16 500;", 2, 0xBEEF},
        {"out16 504", {{kOut16, {0x04, 0x05, 0x34, 0x12}, 8, 0}}, PORTTALK_DONE, "out16 504 1234;",
            0, 0},
        {"in8 of an unlisted port", {{kIn8, {0x80, 0}, 2, 1}}, PORTTALK_REFUSED, "", 0, 0},
        {"in16 2E: the Super I/O takes bytes", {{kIn16, {0x2E, 0}, 8, 8}}, PORTTALK_REFUSED, "", 0,
            0},
        {"out8 with room for an answer", {{kOut8, {0x4E, 0, 0x87}, 3, 1}}, PORTTALK_MALFORMED, "",
            0, 0},
        {"in32 above the I/O space", {{kIn32, {0xFC, 0x0C, 1, 0}, 16, 16}}, PORTTALK_MALFORMED, "",
            0, 0},
        {"an unknown code", {{0x9C402420, {0x2F, 0}, 2, 1}}, PORTTALK_UNKNOWN_REQUEST, "", 0, 0},
        {"in32 CFC with no address selected", {In32(0xCFC)}, PORTTALK_REFUSED, "", 0, 0},
        {"the base address register, never through 0xCF8",
            {Out32(0xCF8, SMBUS_BASE_ADDRESS), In32(0xCFC)}, PORTTALK_DONE, "config 8000FB20;", 4,
            0xF001},
        {"another PCI function", {Out32(0xCF8, 0x80000000)}, PORTTALK_REFUSED, "", 0, 0},
        {"each handle reads the address it selected",
            {Out32(0xCF8, SMBUS_CLASS_ADDRESS, 0), Out32(0xCF8, SMBUS_BASE_ADDRESS, 1),
                In32(0xCFC, 0)},
            PORTTALK_DONE, "config 8000FB08;", 4, 0x0C050000},
        {"a handle that selected nothing reads nothing",
            {Out32(0xCF8, SMBUS_BASE_ADDRESS, 1), In32(0xCFC, 0)}, PORTTALK_REFUSED, "", 0, 0},
        {"the learned SMBus window", {Out8(0xF004, 0x6E)}, PORTTALK_DONE, "out8 F004 6E;", 0, 0},
        {"an SPD EEPROM's address", {Out8(0xF004, 0xA0)}, PORTTALK_REFUSED, "", 0, 0},
    };
    // Each layout one byte off in either size, whatever the port.
    for (const Request& r :
        {Request{kIn8, {}, 2, 1}, Request{kOut8, {}, 3, 0}, Request{kIn16, {}, 8, 8},
            Request{kOut16, {}, 8, 0}, Request{kIn32, {}, 16, 16}, Request{kOut32, {}, 16, 0}})
        for (unsigned long off : {-1ul, 1ul}) {
            cases.push_back({"input size off", {{r.code, {}, r.inSize + off, r.outSize}},
                PORTTALK_MALFORMED, "", 0, 0});
            cases.push_back(
                {"output size off", {{r.code, {}, r.inSize, r.outSize ? r.outSize + off : 1}},
                    PORTTALK_MALFORMED, "", 0, 0});
        }
    for (const auto& c : cases) {
        LoggedPorts logged;
        const PortTalkPorts ports = logged.Table();
        PortPlatform platform{};
        PortTalkLearnPlatform(&platform, &ports);
        logged.log.clear();
        PortTalkHandle handles[2];
        PortTalkOpenHandle(&handles[0]);
        PortTalkOpenHandle(&handles[1]);
        PortTalkOutcome outcome = PORTTALK_DONE;
        unsigned long answered = 0;
        unsigned char buffer[16] = {};
        for (const Request& r : c.requests) {
            std::fill(std::begin(buffer), std::end(buffer), 0);
            std::copy(r.bytes.begin(), r.bytes.end(), buffer);
            outcome = PortTalkServe(&platform, &ports, &handles[r.handle], r.code, buffer, r.inSize,
                r.outSize, &answered);
        }
        EXPECT_EQ(outcome, c.outcome) << c.what;
        EXPECT_EQ(logged.log, c.reached) << c.what;
        EXPECT_EQ(answered, c.answered) << c.what;
        unsigned long answer = 0;
        for (unsigned long i = 0; i < answered; ++i)
            answer |= static_cast<unsigned long>(buffer[i]) << (8 * i);
        EXPECT_EQ(answer, c.answer) << c.what;
    }
}

} // namespace
