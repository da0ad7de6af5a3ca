// The rows of the board table and the factory built on them. This is the one
// file that includes the board tools' headers.
#include "boards/BoardTable.h"

#include "boards/ioport/C1045Tool.h"
#include "boards/ioport/D525LwTool.h"
#include "boards/ioport/D525NexcomTool.h"
#include "boards/ioport/G41NexcomTool.h"
#include "boards/ioport/Q35Tool.h"
#include "boards/ioport/TimeoutCode.h"
#include "boards/lanxus/D525BypassToolLanxus.h"
#include "boards/lanxus/H61BypassToolLanxus.h"
#include "boards/lanxus/LanxusSio.h"
#include "boards/msi/945GCBypassToolMs.h"
#include "boards/msi/945GMBypassToolMs.h"
#include "boards/msi/D525BypassToolMs.h"
#include "boards/msi/G41BypassToolMs.h"
#include "boards/msi/H61BypassToolMs.h"
#include "boards/msi/MsiSio.h"
#include "boards/smbus/MB8756BypassTool.h"
#include "framework/ToolFactory.h"

namespace bypass {
namespace {

template <class Tool> CBypassTool* Make(int type) { return new Tool(type); }

// The boards' conversions from seconds to the byte or code they write.
int MsiByte(int seconds) { return MsiTimeoutByte(seconds); }
int LanxusByte(int seconds) { return LanxusWdtCount(seconds); }
// The Q35 tool and the SMBus controller take the seconds' low byte inline.
int LowByte(int seconds) { return static_cast<std::uint8_t>(seconds); }
int NoTimeout(int) { return 0; }

constexpr std::uint8_t R = kPortRead, W = kPortWrite, RW = kPortRead | kPortWrite;
constexpr std::uint8_t B = kWidth8;

constexpr const char* kMsiCounter = "Super I/O register 0xF6";
constexpr const char* kIteCounter = "Super I/O register 0x73";

// The MSI Super I/O: index 0x4E written, data 0x4F read and written.
const PortUse kMsiSio[] = {{0x4E, B, W}, {0x4F, B, RW}};

std::vector<PortUse> With(std::initializer_list<PortUse> own, const PortUse (&shared)[2])
{
    std::vector<PortUse> ports(std::begin(shared), std::end(shared));
    ports.insert(ports.end(), own);
    return ports;
}

// What the device-8 MSI boards' watchdog operations do: neither selects the
// logical device, so both act on whatever device the chip has selected,
// which is the watchdog only after an arming in this power cycle.
const WatchdogStep kMsiEnable = {WatchdogEffect::Other,
    "reloads counter 0xF6 of the selected logical device with the stored timeout; starts "
    "nothing: a deactivated watchdog stays deactivated, and only an arming selects the watchdog's "
    "device"};
const WatchdogStep kMsiDisable = {WatchdogEffect::Other,
    "deactivates the selected logical device (0x30 = 0), which it does not select: the "
    "watchdog once an arming selected device 8"};

const WatchdogStep kNoWatchdog = {WatchdogEffect::Nothing, "nothing: no watchdog"};

// Every process starts the tool with a stop, which clears the seconds bit
// and the routing: its EnableWDT starts a count of minutes whose expiry
// does nothing.
const WatchdogStep kLanxusEnable = {WatchdogEffect::Other,
    "writes the stored timeout to the count without the unit or the routing: the chip counts "
    "minutes unless an arming left the seconds bit set (a fresh process counts 5 minutes, "
    "expiry routed nowhere)"};
const WatchdogStep kLanxusDisable
    = {WatchdogEffect::Stops, "stops it and clears the seconds bit and the routing"};

// The two G41-NEXCOM boards share their tool class and board logic. The
// tool writes codes of any length, but the NEXCOM logic is known to count
// only codes 1 to 7 (the D525-NEXCOM tool holds its code there): 127 s is
// the longest timeout whose count is known.
constexpr int kNexcomLongestKnown = 127;

BoardRow G41Nexcom(int type, const char* product, const char* platform)
{
    return {type, product, platform, "C_G41_BypassTool_NEXCOM", Make<C_G41_BypassTool_NEXCOM>,
        TimeoutForm::BitLengthCode, 1, kNexcomLongestKnown, "port 0xF2", G41NexcomTimeoutCode,
        RestartExpiry::BoardChooses,
        {WatchdogEffect::Other,
            "writes the stored timeout's code to port 0xF2: restarts the count while the logic "
            "is armed, starts nothing once DisableWDT disarmed it"},
        true, {WatchdogEffect::Stops, "writes the normal control byte, which also ends a bypass"},
        1, {{0xF2, kWidth8, RW}, {0xF3, kWidth8, RW}}};
}

std::vector<BoardRow> MakeTable()
{
    using F = TimeoutForm;
    using E = WatchdogEffect;
    return {
        {0, "NULL", "none", "CNULLBypassTool", Make<CNULLBypassTool>, F::None, 0, 0, "", NoTimeout,
            RestartExpiry::None, kNoWatchdog, false, kNoWatchdog, 0, {}},
        {1, "i845GV-W83627HF", "1045", "C1045BypassTool", Make<C1045BypassTool>, F::DescendingCode,
            k1045ShortestTimeout, k1045LongestTimeout, "port 0xF2 bits 2-0", C1045TimeoutCode,
            RestartExpiry::Armed,
            {E::Nothing, "nothing: EnableWDT only reads port 0xF2 on this board"}, false,
            {E::Stops, "clears port 0xF2's arm bits and code, which also ends a bypass"}, 1,
            {{0xF2, B, RW}}},
        {2, "", "Q35", "CQ35BypassTool", Make<CQ35BypassTool>, F::SecondsByte, 1, 255, kIteCounter,
            LowByte, RestartExpiry::Armed,
            {E::Starts,
                "starts the count with the stored timeout, expiry routed as the last arming "
                "left it (to the reset line at power-on)"},
            true,
            {E::Stops, "stops it and pulses pin 0xA21 bit 7, which resets an expiry's bypass"}, 1,
            {{0x2E, B, W}, {0x2F, B, RW}, {0x48F, B, RW}, {0xA21, B, RW}}, Q35ReadWatchdog},
        {3, "MS-9641", "945GM-MS", "C945GMBypassTool_MS", Make<C945GMBypassTool_MS>, F::SecondsByte,
            1, 255, kMsiCounter, MsiByte, RestartExpiry::Armed, kMsiEnable, true, kMsiDisable, 2,
            With({{0x5E, B, RW}}, kMsiSio), MsiReadWatchdog, MsiSelectedDevice, 8},
        {4, "nexcom-1130", "D525-NEXCOM", "C_D525_BypassTool_NEXCOM",
            Make<C_D525_BypassTool_NEXCOM>, F::ClampedCode, 1, 64, "port 0xF2",
            D525NexcomTimeoutCode, RestartExpiry::CodeAsSeconds,
            {E::Starts, "arms the board logic's bypass watchdog with the stored timeout's code"},
            true, {E::Nothing, "nothing: it touches no port, neither watchdog stops"}, 1,
            {{0x2E, B, W}, {0x2F, B, W}, {0xF2, B, W}, {0xF3, B, W}}},
        {5, "MS-96C4", "945GC-MS", "C_945GC_BypassTool_MS", Make<C_945GC_BypassTool_MS>,
            F::SecondsByte, 1, 255, kMsiCounter, MsiByte, RestartExpiry::Armed, kMsiEnable, true,
            kMsiDisable, 2, With({{0x5E, B, RW}}, kMsiSio), MsiReadWatchdog, MsiSelectedDevice, 8},
        {6, "MS-96E3", "G41-MS", "C_G41_BypassTool_MS", Make<C_G41_BypassTool_MS>, F::SecondsByte,
            1, 255, kMsiCounter, MsiByte, RestartExpiry::Armed, kMsiEnable, true, kMsiDisable, 2,
            With({{0x48C, B, RW}, {0x48F, B, RW}, {0x4B8, B, RW}}, kMsiSio), MsiReadWatchdog,
            MsiSelectedDevice, 8},
        G41Nexcom(7, "NSA3110", "G41-NEXCOM"),
        G41Nexcom(8, "Eaglelake", "G41-NEXCOM2"),
        {9, "MS-S0391", "H61-MS", "C_H61_BypassTool_MS", Make<C_H61_BypassTool_MS>, F::SecondsByte,
            1, 255, kMsiCounter, MsiByte, RestartExpiry::Armed, kMsiEnable, true,
            {E::Other,
                "clears 0xF0 bits 7 and 0 and 0xF5 bit 5 of the selected logical device, "
                "which it does not select: the watchdog (device 7) once an arming selected it"},
            2,
            With({{0x501, B, RW}, {0x505, B, RW}, {0x50D, B, RW}, {0x531, B, RW}, {0x535, B, RW},
                     {0x539, B, RW}},
                kMsiSio),
            H61MsReadWatchdog, MsiSelectedDevice, 7},
        {10, "LX-H61NS", "H61-LANXUS", "C_H61_BypassTool_Lanxus", Make<C_H61_BypassTool_Lanxus>,
            F::SecondsByte, 1, 255, kIteCounter, LanxusByte, RestartExpiry::Armed, kLanxusEnable,
            true, kLanxusDisable, 2,
            {{0x2E, B, W}, {0x2F, B, RW}, {0xED, B, W}, {0x500, kWidth16, RW},
                {0x504, kWidth16, RW}, {0x50C, kWidth16, RW}, {0x50D, B, RW}, {0x530, kWidth16, RW},
                {0x534, kWidth16, RW}, {0x538, kWidth16, RW}, {0x539, B, RW}},
            LanxusReadWatchdog},
        {11, "LX-BI224", "D525-LANXUS", "C_D525_BypassTool_Lanxus", Make<C_D525_BypassTool_Lanxus>,
            F::SecondsByte, 1, 255, kIteCounter, LanxusByte, RestartExpiry::Armed, kLanxusEnable,
            true, kLanxusDisable, 1,
            {{0x2E, B, W}, {0x2F, B, RW}, {0x1181, B, RW}, {0x1183, B, RW}, {0x1185, B, RW},
                {0x1187, B, RW}, {0x118D, B, RW}, {0x11B1, B, RW}, {0x11B5, B, RW}},
            LanxusReadWatchdog},
        {5003, "", "G41-LS", "C_MB8756_BypassTool", Make<C_MB8756_BypassTool>, F::SecondsByte, 1,
            255, "SMBus controller register 0x22", LowByte, RestartExpiry::None,
            {E::Other,
                "the start command only: the controller keeps the timeout it was last armed "
                "with"},
            false, {E::Stops, "takes every segment out of bypass, then stops it"}, 3,
            {{0xCF8, kWidth32, W}, {0xCFC, kWidth32, R}, {0x0, B, RW, true}, {0x2, B, RW, true},
                {0x3, B, W, true}, {0x4, B, W, true}, {0x5, B, W, true}}},
        {5002, "MS-96D9", "D525-MS", "C_D525_BypassTool_MS", Make<C_D525_BypassTool_MS>,
            F::SecondsByte, 1, 255, kMsiCounter, MsiByte, RestartExpiry::Armed, kMsiEnable, true,
            kMsiDisable, 2,
            With({{0x48C, B, R}, {0x48D, B, RW}, {0x48F, B, RW}, {0x4B9, B, RW}}, kMsiSio),
            MsiReadWatchdog, MsiSelectedDevice, 8},
        {5001, "Luna Pier CRB", "D525-LW", "CD525_ByapssTool_LW", Make<CD525_ByapssTool_LW>,
            F::None, 0, 0, "", NoTimeout, RestartExpiry::None, kNoWatchdog, false, kNoWatchdog, 2,
            {{0x2E, B, W}, {0x2F, B, RW}, {0x801, B, RW}, {0x803, B, RW}, {0x804, B, RW}}},
    };
}

// The seconds a logarithm code stands for, as its bit length says; a code
// of no length stands for no time.
HardwareTimeout Step(bool fits, int code, int bits)
{
    if (bits <= 0)
        return {fits, code, 0, 0};
    return {fits, code, 1LL << (bits - 1), (1LL << bits) - 1};
}

} // namespace

const std::vector<BoardRow>& BoardTable()
{
    static const std::vector<BoardRow> table = MakeTable();
    return table;
}

const BoardRow* FindBoard(int type)
{
    for (const BoardRow& row : BoardTable()) {
        if (row.type == type)
            return &row;
    }
    return nullptr;
}

HardwareTimeout TimeoutOnHardware(const BoardRow& row, int seconds)
{
    const bool fits = row.form != TimeoutForm::None && seconds >= row.shortestSeconds
        && seconds <= row.longestSeconds;
    const int written = row.timeoutValue(seconds);
    switch (row.form) {
    case TimeoutForm::BitLengthCode:
    case TimeoutForm::ClampedCode:
        return Step(fits, written, written);
    case TimeoutForm::DescendingCode:
        return Step(fits, written, 7 - written);
    default:
        return {fits, written, written, written};
    }
}

// The factory of framework/ToolFactory.h, driven by the table.
CBypassTool* MakeBypassTool(int type)
{
    const BoardRow* row = FindBoard(type);
    return row ? row->create(type) : new CNULLBypassTool(0);
}

const char* BypassToolClassName(int type)
{
    const BoardRow* row = FindBoard(type);
    return row ? row->className : "CNULLBypassTool";
}

} // namespace bypass
