#include "boards/ioport/Ite87.h"

#include "portio/PortBackend.h"

namespace bypass::ite {

void Pause(unsigned gapMs)
{
    if (gapMs != 0)
        SleepMs(gapMs);
}

void WriteConfigKey(unsigned gapMs)
{
    constexpr std::uint8_t kKey[] = {0x87, 0x01, 0x55, 0x55};
    constexpr unsigned kLast = sizeof kKey - 1;
    for (unsigned i = 0; i <= kLast; ++i) {
        outportb(kIndexPort, kKey[i]);
        // the chip needs no time after the last byte
        if (i != kLast)
            Pause(gapMs);
    }
}

void WriteIndexed(std::uint8_t reg, std::uint8_t value, unsigned gapMs)
{
    outportb(kIndexPort, reg);
    Pause(gapMs);
    outportb(kDataPort, value);
}

std::uint8_t ReadIndexed(std::uint8_t reg, unsigned gapMs)
{
    outportb(kIndexPort, reg);
    Pause(gapMs);
    return inportb(kDataPort);
}

void LeaveConfig() { WriteIndexed(kConfigControl, kLeaveConfigBit, 0); }

} // namespace bypass::ite
