// The facts that the boards of one family share, and the functions that
// make a family's row from what differs.
#include "boards/BoardFamilies.h"

#include "boards/ioport/G41NexcomTool.h"
#include "boards/ioport/TimeoutCode.h"
#include "boards/lanxus/LanxusSio.h"
#include "boards/msi/MsiSio.h"

#include <utility>

namespace bypass::rows {

// What the device-8 MSI boards' watchdog operations do: neither selects the
// logical device, so both act on whatever device the chip has selected,
// which is the watchdog only after an arming in this power cycle.
const WatchdogStep kMsiEnable = {WatchdogEffect::Other,
    "reloads counter 0xF6 of the selected logical device with the stored timeout; starts "
    "nothing: a deactivated watchdog stays deactivated, and only an arming selects the watchdog's "
    "device"};
const BypassStep kMsiForceExpiry = {BypassWatchdogEffect::ForcesExpiry,
    "sets the force-expiry bit 0xF7 bit 5 of device 8: an armed watchdog expires at once, which "
    "restarts the system when it was armed for restart"};

namespace {

const WatchdogStep kMsiDisable = {WatchdogEffect::Other,
    "deactivates the selected logical device (0x30 = 0), which it does not select: the "
    "watchdog once an arming selected device 8"};
const BypassStep kMsiZeroCount = {BypassWatchdogEffect::Stops,
    "writes 0 to counter 0xF6 of device 8 and clears its timeout status: the watchdog stops"};

int LanxusByte(int seconds) { return LanxusWdtCount(seconds); }

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

} // namespace

BoardRow G41Nexcom(int type, const char* product, const char* platform)
{
    return {.type = type,
        .product = product,
        .platform = platform,
        .className = "C_G41_BypassTool_NEXCOM",
        .create = Make<C_G41_BypassTool_NEXCOM>,
        .form = TimeoutForm::BitLengthCode,
        .shortestSeconds = 1,
        .longestSeconds = kNexcomLongestKnown,
        .timeoutReceiver = "port 0xF2",
        .timeoutValue = G41NexcomTimeoutCode,
        .restart = RestartExpiry::BoardChooses,
        .enableWdt = {WatchdogEffect::Other,
            "writes the stored timeout's code to port 0xF2: restarts the count while the logic "
            "is armed, starts nothing once DisableWDT disarmed it"},
        .enableSendsStoredTimeout = true,
        .disableWdt
        = {WatchdogEffect::Stops, "writes the normal control byte, which also ends a bypass"},
        .bypassOn = {BypassWatchdogEffect::Stops,
            "writes the bypass control byte, which leaves the armed state: the watchdog stops"},
        .bypassOff = {BypassWatchdogEffect::Stops,
            "writes the normal control byte, which leaves the armed state: the watchdog stops"},
        .segments = 1,
        .ports = {{0xF2, kWidth8, RW}, {0xF3, kWidth8, RW}}};
}

// The device-8 MSI boards differ in their tool, their relay ports and in how
// EnableBypass reaches the watchdog's device.
BoardRow MsiDevice8(
    const Identity& board, BypassStep bypassOn, std::initializer_list<PortUse> relays)
{
    return {.type = board.type,
        .product = board.product,
        .platform = board.platform,
        .className = board.className,
        .create = board.create,
        .form = TimeoutForm::SecondsByte,
        .shortestSeconds = 1,
        .longestSeconds = 255,
        .timeoutReceiver = kMsiCounter,
        .timeoutValue = MsiByte,
        .restart = RestartExpiry::Armed,
        .enableWdt = kMsiEnable,
        .enableSendsStoredTimeout = true,
        .disableWdt = kMsiDisable,
        .bypassOn = bypassOn,
        .bypassOff = kMsiZeroCount,
        .segments = 2,
        .ports = With(relays, kMsiSio),
        .readWatchdog = MsiReadWatchdog,
        .selectedDevice = MsiSelectedDevice,
        .watchdogDevice = 8};
}

// The LANXUS boards differ in their tool and their relays.
BoardRow Lanxus(const Identity& board, unsigned segments, std::vector<PortUse> ports)
{
    return {.type = board.type,
        .product = board.product,
        .platform = board.platform,
        .className = board.className,
        .create = board.create,
        .form = TimeoutForm::SecondsByte,
        .shortestSeconds = 1,
        .longestSeconds = 255,
        .timeoutReceiver = kIteCounter,
        .timeoutValue = LanxusByte,
        .restart = RestartExpiry::Armed,
        .enableWdt = kLanxusEnable,
        .enableSendsStoredTimeout = true,
        .disableWdt = kLanxusDisable,
        .bypassOn = kStopsFirst,
        .bypassOff = kStopsFirst,
        .segments = segments,
        .ports = std::move(ports),
        .readWatchdog = LanxusReadWatchdog};
}

int MsiByte(int seconds) { return MsiTimeoutByte(seconds); }
int LowByte(int seconds) { return static_cast<std::uint8_t>(seconds); }
int NoTimeout(int) { return 0; }

std::vector<PortUse> With(std::initializer_list<PortUse> own, const PortUse (&shared)[2])
{
    std::vector<PortUse> ports(std::begin(shared), std::end(shared));
    ports.insert(ports.end(), own);
    return ports;
}

} // namespace bypass::rows
