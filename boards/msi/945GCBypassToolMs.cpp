#include "boards/msi/945GCBypassToolMs.h"

#include "boards/PortModify.h"
#include "boards/msi/MsiSio.h"

using namespace bypass;

namespace {

constexpr std::uint16_t kBypassPort = 0x5E;
constexpr std::uint8_t kRelayBits = 0x03;

// Both relay bits together; the other bits are written back as read.
void SetBypassPort(int nOn) { ModifyPortByte(kBypassPort, kRelayBits, nOn ? kRelayBits : 0x00); }

} // namespace

C_945GC_BypassTool_MS::C_945GC_BypassTool_MS(int nBypassType)
    : CMsiSioBypassTool(nBypassType, {0, -1})
{
}

void C_945GC_BypassTool_MS::ApplyBypassMode(int nMode, std::uint8_t nTimeout)
{
    MsiSelectWdtDevice();
    switch (nMode) {
    case kMsiBypassNow:
        // relays first, then the forced expiry
        SetBypassPort(1);
        MsiForceWdtExpiry();
        break;
    case kMsiNormal:
        // this board zeroes the counter before clearing the status
        SetBypassPort(0);
        MsiSioWrite(kMsiRegCounter, 0x00);
        MsiClearWdtStatus();
        break;
    case kMsiArmForRestart:
        MsiArmWdt(kMsiExpiryRestart, nTimeout);
        break;
    case kMsiArmForBypass:
        SetBypassPort(0);
        MsiArmWdt(kMsiExpiryBypass, nTimeout);
        break;
    default:
        break;
    }
}
