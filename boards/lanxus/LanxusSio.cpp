#include "boards/lanxus/LanxusSio.h"

#include "portio/PortBackend.h"

namespace bypass {
namespace {

constexpr std::uint16_t kSioIndexPort = 0x2E;
constexpr std::uint16_t kSioDataPort = 0x2F;

constexpr std::uint8_t kSioConfigControl = 0x02;
constexpr std::uint8_t kSioLeaveConfig = 0x02;
constexpr std::uint8_t kSioDeviceSelect = 0x07;
constexpr std::uint8_t kWatchdogDevice = 0x07;

} // namespace

void EnterLanxusSio()
{
    // The IT87 entry key for the configuration ports at 0x2E.
    for (std::uint8_t key : {0x87, 0x01, 0x55, 0x55})
        outportb(kSioIndexPort, key);
}

void WriteLanxusSioReg(std::uint8_t index, std::uint8_t value)
{
    outportb(kSioIndexPort, index);
    outportb(kSioDataPort, value);
}

void ExitLanxusSio() { WriteLanxusSioReg(kSioConfigControl, kSioLeaveConfig); }

void RunLanxusSioSequence(std::initializer_list<LanxusSioWrite> writes)
{
    EnterLanxusSio();
    WriteLanxusSioReg(kSioDeviceSelect, kWatchdogDevice);
    for (const LanxusSioWrite& write : writes)
        WriteLanxusSioReg(write.index, write.value);
    ExitLanxusSio();
}

std::uint8_t LanxusWdtCount(int seconds) { return static_cast<std::uint8_t>(seconds & 0xFF); }

void ReloadLanxusWDT(int seconds)
{
    // No device select: every sequence of the tools leaves device 7 selected.
    EnterLanxusSio();
    WriteLanxusSioReg(kLanxusWdtCountLow, LanxusWdtCount(seconds));
    WriteLanxusSioReg(kLanxusWdtCountHigh, 0x00);
    ExitLanxusSio();
}

} // namespace bypass
