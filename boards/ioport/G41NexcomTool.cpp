#include "boards/ioport/G41NexcomTool.h"

#include "boards/ioport/NexcomLogic.h"
#include "boards/ioport/TimeoutCode.h"
#include "portio/PortBackend.h"

namespace {

using namespace bypass::nexcom;

// Bits 5-0 of the control byte: the "NSA3110" board (type 7) and the
// "Eaglelake" board.
constexpr int kNsa3110Type = 7;
constexpr int kNsa3110Bits = 0x37;
constexpr int kEaglelakeBits = 0x3E;

// The board logic expects each port to be read before it is written; the
// value read is of no use.
void ReadThenWrite(std::uint16_t port, int value)
{
    inportb(port);
    outportb(port, static_cast<std::uint8_t>(value));
}

} // namespace

C_G41_BypassTool_NEXCOM::C_G41_BypassTool_NEXCOM(int nBypassType)
    : CBypassTool(nBypassType)
{
}

void C_G41_BypassTool_NEXCOM::WriteState(int nState) const
{
    ReadThenWrite(
        kControlPort, nState | (m_nBypassType == kNsa3110Type ? kNsa3110Bits : kEaglelakeBits));
}

// Writes the normal state, as DisableBypass does.
int C_G41_BypassTool_NEXCOM::DisableWDT()
{
    WriteState(kStateNormal);
    return 0;
}

// Only rewrites the timeout code.
int C_G41_BypassTool_NEXCOM::EnableWDT()
{
    ReadThenWrite(kTimeoutPort, bypass::G41NexcomTimeoutCode(m_nTimeoutSecond));
    return 0;
}

// The board logic alone decides what expiry does: both armings are the same.
int C_G41_BypassTool_NEXCOM::SetWDTTimeout_Bypass(int, int nSecond)
{
    Arm(nSecond);
    return 0;
}

int C_G41_BypassTool_NEXCOM::SetWDTTimeout_ResartSys(int, int nSecond)
{
    Arm(nSecond);
    return 0;
}

int C_G41_BypassTool_NEXCOM::EnableBypass()
{
    WriteState(kStateBypass);
    return 0;
}

int C_G41_BypassTool_NEXCOM::DisableBypass()
{
    WriteState(kStateNormal);
    return 0;
}

int C_G41_BypassTool_NEXCOM::IsSupportWDT() { return 1; }

void C_G41_BypassTool_NEXCOM::Arm(int nSecond)
{
    m_nTimeoutSecond = nSecond;
    ReadThenWrite(kTimeoutPort, bypass::G41NexcomTimeoutCode(nSecond));
    WriteState(kStateArmed);
}
