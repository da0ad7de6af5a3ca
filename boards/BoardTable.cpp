// The rows of the board table, each field named. This is the one file that
// includes the board tools' headers.
#include "boards/BoardTable.h"

#include "boards/BoardFamilies.h"
#include "boards/ioport/C1045Tool.h"
#include "boards/ioport/D525LwTool.h"
#include "boards/ioport/D525NexcomTool.h"
#include "boards/ioport/Q35Tool.h"
#include "boards/ioport/TimeoutCode.h"
#include "boards/lanxus/D525BypassToolLanxus.h"
#include "boards/lanxus/H61BypassToolLanxus.h"
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

using namespace rows;

std::vector<BoardRow> MakeTable()
{
    using F = TimeoutForm;
    using E = WatchdogEffect;
    using B = BypassWatchdogEffect;
    return {
        {.type = 0,
            .product = "NULL",
            .platform = "none",
            .className = "CNULLBypassTool",
            .create = Make<CNULLBypassTool>,
            .form = F::None,
            .shortestSeconds = 0,
            .longestSeconds = 0,
            .timeoutReceiver = "",
            .timeoutValue = NoTimeout,
            .restart = RestartExpiry::None,
            .enableWdt = kNoWatchdog,
            .enableSendsStoredTimeout = false,
            .disableWdt = kNoWatchdog,
            .bypassOn = kNoEffect,
            .bypassOff = kNoEffect,
            .segments = 0,
            .ports = {}},
        {.type = 1,
            .product = "i845GV-W83627HF",
            .platform = "1045",
            .className = "C1045BypassTool",
            .create = Make<C1045BypassTool>,
            .form = F::DescendingCode,
            .shortestSeconds = k1045ShortestTimeout,
            .longestSeconds = k1045LongestTimeout,
            .timeoutReceiver = "port 0xF2 bits 2-0",
            .timeoutValue = C1045TimeoutCode,
            .restart = RestartExpiry::Armed,
            .enableWdt = {E::Nothing, "nothing: EnableWDT only reads port 0xF2 on this board"},
            .enableSendsStoredTimeout = false,
            .disableWdt
            = {E::Stops, "clears port 0xF2's arm bits and code, which also ends a bypass"},
            .bypassOn = {B::ArmsShortWatchdog,
                "arms port 0xF2's watchdog for bypass with code 6: the ports join when its 1 s "
                "runs out, unless a write to port 0xF2 comes first"},
            .bypassOff = {B::Stops,
                "clears port 0xF2's arm bits and code: the watchdog stops, and an expiry's bypass "
                "ends"},
            .segments = 1,
            .ports = {{0xF2, B8, RW}}},
        {.type = 2,
            .product = "",
            .platform = "Q35",
            .className = "CQ35BypassTool",
            .create = Make<CQ35BypassTool>,
            .form = F::SecondsByte,
            .shortestSeconds = 1,
            .longestSeconds = 255,
            .timeoutReceiver = kIteCounter,
            .timeoutValue = LowByte,
            .restart = RestartExpiry::Armed,
            .enableWdt = {E::Starts,
                "starts the count with the stored timeout, expiry routed as the last arming "
                "left it (to the reset line at power-on)"},
            .enableSendsStoredTimeout = true,
            .disableWdt
            = {E::Stops, "stops it and pulses pin 0xA21 bit 7, which resets an expiry's bypass"},
            .bypassOn = kStopsFirst,
            .bypassOff = kStopsFirst,
            .segments = 1,
            .ports = {{0x2E, B8, W}, {0x2F, B8, RW}, {0x48F, B8, RW}, {0xA21, B8, RW}},
            .readWatchdog = Q35ReadWatchdog},
        MsiDevice8({.type = 3,
                       .product = "MS-9641",
                       .platform = "945GM-MS",
                       .className = "C945GMBypassTool_MS",
                       .create = Make<C945GMBypassTool_MS>},
            {B::ForcesExpiry,
                "sets the force-expiry bit 0xF7 bit 5 of the selected logical device, which it "
                "does not select: once an arming selected device 8, an armed watchdog expires at "
                "once, which restarts the system when it was armed for restart"},
            {{0x5E, B8, RW}}),
        {.type = 4,
            .product = "nexcom-1130",
            .platform = "D525-NEXCOM",
            .className = "C_D525_BypassTool_NEXCOM",
            .create = Make<C_D525_BypassTool_NEXCOM>,
            .form = F::ClampedCode,
            .shortestSeconds = 1,
            .longestSeconds = 64,
            .timeoutReceiver = "port 0xF2",
            .timeoutValue = D525NexcomTimeoutCode,
            .restart = RestartExpiry::CodeAsSeconds,
            .restartReceiver = kIteCounter,
            .enableWdt
            = {E::Starts, "arms the board logic's bypass watchdog with the stored timeout's code"},
            .enableSendsStoredTimeout = true,
            .disableWdt = {E::Nothing,
                "nothing: it touches no port, so neither watchdog stops; bypass off stops the "
                "logic's bypass watchdog, and nothing stops the Super I/O's restart watchdog"},
            // Bits 7-6 of port 0xF3 run the logic's watchdog only at 11;
            // the Super I/O's watchdog is another chip.
            .bypassOn = {B::StopsBypassWatchdog,
                "writes 0x41 to port 0xF3, the bypass state: the logic's bypass watchdog stops, "
                "the Super I/O's restart watchdog counts on"},
            .bypassOff = {B::StopsBypassWatchdog,
                "writes 0x81 to port 0xF3, the normal state: the logic's bypass watchdog stops, "
                "the Super I/O's restart watchdog counts on"},
            .segments = 1,
            .ports = {{0x2E, B8, W}, {0x2F, B8, W}, {0xF2, B8, W}, {0xF3, B8, W}}},
        MsiDevice8({.type = 5,
                       .product = "MS-96C4",
                       .platform = "945GC-MS",
                       .className = "C_945GC_BypassTool_MS",
                       .create = Make<C_945GC_BypassTool_MS>},
            kMsiForceExpiry, {{0x5E, B8, RW}}),
        MsiDevice8({.type = 6,
                       .product = "MS-96E3",
                       .platform = "G41-MS",
                       .className = "C_G41_BypassTool_MS",
                       .create = Make<C_G41_BypassTool_MS>},
            kMsiForceExpiry, {{0x48C, B8, RW}, {0x48F, B8, RW}, {0x4B8, B8, RW}}),
        G41Nexcom(7, "NSA3110", "G41-NEXCOM"),
        G41Nexcom(8, "Eaglelake", "G41-NEXCOM2"),
        {.type = 9,
            .product = "MS-S0391",
            .platform = "H61-MS",
            .className = "C_H61_BypassTool_MS",
            .create = Make<C_H61_BypassTool_MS>,
            .form = F::SecondsByte,
            .shortestSeconds = 1,
            .longestSeconds = 255,
            .timeoutReceiver = kMsiCounter,
            .timeoutValue = MsiByte,
            .restart = RestartExpiry::Armed,
            .enableWdt = kMsiEnable,
            .enableSendsStoredTimeout = true,
            .disableWdt = {E::Other,
                "clears 0xF0 bits 7 and 0 and 0xF5 bit 5 of the selected logical device, "
                "which it does not select: the watchdog (device 7) once an arming selected it"},
            .bypassOn = {B::Stops,
                "selects device 7 and clears 0xF0 bits 7 and 0 and 0xF5 bit 5: the watchdog "
                "stops before the relays switch"},
            .bypassOff = {B::Stops,
                "selects device 7 and clears 0xF0 bits 7 and 0 and 0xF5 bit 5: the watchdog "
                "stops before the relays switch"},
            .segments = 2,
            .ports = With({{0x501, B8, RW}, {0x505, B8, RW}, {0x50D, B8, RW}, {0x531, B8, RW},
                              {0x535, B8, RW}, {0x539, B8, RW}},
                kMsiSio),
            .readWatchdog = H61MsReadWatchdog,
            .selectedDevice = MsiSelectedDevice,
            .watchdogDevice = 7,
            .descriptionInWords = H61MsDescriptionInWords},
        Lanxus({.type = 10,
                   .product = "LX-H61NS",
                   .platform = "H61-LANXUS",
                   .className = "C_H61_BypassTool_Lanxus",
                   .create = Make<C_H61_BypassTool_Lanxus>},
            2,
            {{0x2E, B8, W}, {0x2F, B8, RW}, {0xED, B8, W}, {0x500, kWidth16, RW},
                {0x504, kWidth16, RW}, {0x50C, kWidth16, RW}, {0x50D, B8, RW},
                {0x530, kWidth16, RW}, {0x534, kWidth16, RW}, {0x538, kWidth16, RW},
                {0x539, B8, RW}}),
        Lanxus({.type = 11,
                   .product = "LX-BI224",
                   .platform = "D525-LANXUS",
                   .className = "C_D525_BypassTool_Lanxus",
                   .create = Make<C_D525_BypassTool_Lanxus>},
            1,
            {{0x2E, B8, W}, {0x2F, B8, RW}, {0x1181, B8, RW}, {0x1183, B8, RW}, {0x1185, B8, RW},
                {0x1187, B8, RW}, {0x118D, B8, RW}, {0x11B1, B8, RW}, {0x11B5, B8, RW}}),
        {.type = 5003,
            .product = "",
            .platform = "G41-LS",
            .className = "C_MB8756_BypassTool",
            .create = Make<C_MB8756_BypassTool>,
            .form = F::SecondsByte,
            .shortestSeconds = 1,
            .longestSeconds = 255,
            .timeoutReceiver = "SMBus controller register 0x22",
            .timeoutValue = LowByte,
            .restart = RestartExpiry::None,
            .enableWdt = {E::Other,
                "the start command only: the controller keeps the timeout it was last armed "
                "with"},
            .enableSendsStoredTimeout = false,
            .disableWdt = {E::Stops, "takes every segment out of bypass, then stops it"},
            .bypassOn = {B::None,
                "writes the controller's bypass register only: an armed watchdog counts on"},
            .bypassOff = {B::Stops, "stops the watchdog (DisableWDT), then ends the bypass"},
            .segments = 3,
            .ports = {{0xCF8, kWidth32, W}, {0xCFC, kWidth32, R}, {0x0, B8, RW, true},
                {0x2, B8, RW, true}, {0x3, B8, W, true}, {0x4, B8, W, true}, {0x5, B8, W, true}}},
        MsiDevice8({.type = 5002,
                       .product = "MS-96D9",
                       .platform = "D525-MS",
                       .className = "C_D525_BypassTool_MS",
                       .create = Make<C_D525_BypassTool_MS>},
            kMsiForceExpiry, {{0x48C, B8, R}, {0x48D, B8, RW}, {0x48F, B8, RW}, {0x4B9, B8, RW}}),
        {.type = 5001,
            .product = "Luna Pier CRB",
            .platform = "D525-LW",
            .className = "CD525_ByapssTool_LW",
            .create = Make<CD525_ByapssTool_LW>,
            .form = F::None,
            .shortestSeconds = 0,
            .longestSeconds = 0,
            .timeoutReceiver = "",
            .timeoutValue = NoTimeout,
            .restart = RestartExpiry::None,
            .enableWdt = kNoWatchdog,
            .enableSendsStoredTimeout = false,
            .disableWdt = kNoWatchdog,
            .bypassOn = kNoEffect,
            .bypassOff = kNoEffect,
            .segments = 2,
            .ports
            = {{0x2E, B8, W}, {0x2F, B8, RW}, {0x801, B8, RW}, {0x803, B8, RW}, {0x804, B8, RW}}},
    };
}

} // namespace

const std::vector<BoardRow>& BoardTable()
{
    static const std::vector<BoardRow> table = MakeTable();
    return table;
}

} // namespace bypass
