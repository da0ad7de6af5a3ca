#include "boards/ioport/Ite87.h"

#include "boards/WatchdogReadback.h"
#include "portio/PortBackend.h"

namespace bypass::ite {

void Pause(unsigned ms)
{
    if (ms != 0)
        SleepMs(ms);
}

ConfigMode::ConfigMode(const Pacing& pacing)
    : m_pacing(pacing)
{
    constexpr std::uint8_t kKey[] = {0x87, 0x01, 0x55, 0x55};
    constexpr unsigned kLast = sizeof kKey - 1;
    for (unsigned i = 0; i <= kLast; ++i) {
        outportb(kIndexPort, kKey[i]);
        // the chip needs no time after the last byte
        if (i != kLast)
            Pause(m_pacing.keyGapMs);
    }
}

ConfigMode::~ConfigMode()
{
    outportb(kIndexPort, kConfigControl);
    if (m_pacing.leaveKeepsControl)
        outportb(kDataPort, static_cast<std::uint8_t>(inportb(kDataPort) | kLeaveConfigBit));
    else
        outportb(kDataPort, kLeaveConfigBit);
}

void ConfigMode::SelectDevice(std::uint8_t device) { Write(kDeviceSelect, device); }

void ConfigMode::Write(std::uint8_t reg, std::uint8_t value)
{
    outportb(kIndexPort, reg);
    Pause(m_pacing.accessGapMs);
    outportb(kDataPort, value);
}

std::uint8_t ConfigMode::Read(std::uint8_t reg)
{
    outportb(kIndexPort, reg);
    Pause(m_pacing.accessGapMs);
    return inportb(kDataPort);
}

bool SixteenBitCount(unsigned chipId, unsigned revision)
{
    return !(chipId == 0x8702 || (chipId == 0x8712 && (revision & 0x0F) < 8));
}

WatchdogReadback ReadWatchdog(const Pacing& pacing)
{
    ConfigMode sio(pacing);
    const std::uint8_t selected = sio.Read(kDeviceSelect);
    const unsigned chipId = sio.Read(kChipIdHigh) << 8 | sio.Read(kChipIdLow);
    const bool wide = SixteenBitCount(chipId, sio.Read(kChipRevision));
    sio.SelectDevice(kGpioWatchdogDevice);
    const bool expired = (sio.Read(kWatchdogControl) & kTimeoutStatus) != 0;
    const std::uint8_t config = sio.Read(kWatchdogConfig);
    const long unitMs = !(config & kCountInSeconds) ? 60000 : (config & kCountIn64Ms) ? 64 : 1000;
    const long low = sio.Read(kWatchdogTimeoutLow);
    const long high = wide ? sio.Read(kWatchdogTimeoutHigh) : 0;
    sio.SelectDevice(selected);
    return {std::nullopt, std::nullopt, ((high << 8 | low) * unitMs + 999) / 1000, expired};
}

} // namespace bypass::ite
