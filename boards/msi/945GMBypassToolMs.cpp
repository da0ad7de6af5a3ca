#include "boards/msi/945GMBypassToolMs.h"

#include "boards/PortModify.h"
#include "boards/msi/MsiSio.h"

using namespace bypass;

namespace {

constexpr std::uint16_t kBypassPort = 0x5E;

// All four relay bits on; the upper nibble is always written 0.
void BypassPortOn() { ModifyPortByte(kBypassPort, 0xFF, 0x0F); }

// Relay bits 0 and 1 off; bits 2 and 3 stay as read.
void BypassPortOff() { ModifyPortByte(kBypassPort, 0xF3, 0x00); }

} // namespace

C945GMBypassTool_MS::C945GMBypassTool_MS(int nBypassType)
    : CMsiSioBypassTool(nBypassType, {-1, 0})
{
}

// Device 8 is selected only in the modes that arm or stop the watchdog:
// forcing expiry acts on whatever device the chip has selected.
void C945GMBypassTool_MS::ApplyBypassMode(int nMode, std::uint8_t nTimeout)
{
    switch (nMode) {
    case kMsiBypassNow:
        MsiForceWdtExpiry();
        BypassPortOn();
        break;
    case kMsiNormal:
        MsiSelectWdtDevice();
        MsiStopWdtCounter();
        BypassPortOff();
        break;
    case kMsiArmForRestart:
        MsiSelectWdtDevice();
        MsiArmWdt(kMsiExpiryRestart, nTimeout);
        break;
    case kMsiArmForBypass:
        BypassPortOff();
        MsiSelectWdtDevice();
        MsiArmWdt(kMsiExpiryBypass, nTimeout);
        break;
    default:
        break;
    }
}
