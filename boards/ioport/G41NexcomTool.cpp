#include "boards/ioport/G41NexcomTool.h"

#include "boards/ioport/TimeoutCode.h"
#include "portio/PortBackend.h"

namespace {

constexpr std::uint16_t kTimeoutPort = 0xF2;
constexpr std::uint16_t kControlPort = 0xF3;

// Bits 7-6 of the control byte.
constexpr int kStateNormal = 0x80;
constexpr int kStateArmed = 0xC0;
constexpr int kStateBypass = 0x40;

// Bits 5-0 of the control byte: the "NSA3110" board (type 7) and the
// "Eaglelake" board.
constexpr int kNsa3110Type = 7;
constexpr int kNsa3110Bits = 0x37;
constexpr int kEaglelakeBits = 0x3E;

// Modes of DoBypassCtrl, numbered as the board's control program knows them.
enum Mode {
    kDisableWatchdog = 0,
    kEnableWatchdog = 1,
    kArmRestart = 2,
    kArmBypass = 3,
    kEnterBypass = 4,
    kLeaveBypass = 5,
};

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

int C_G41_BypassTool_NEXCOM::ControlByte(int nState) const
{
    return nState | (m_nBypassType == kNsa3110Type ? kNsa3110Bits : kEaglelakeBits);
}

void C_G41_BypassTool_NEXCOM::DoBypassCtrl(int nCode, int nMode)
{
    switch (nMode) {
    case kDisableWatchdog:
    case kLeaveBypass:
        ReadThenWrite(kControlPort, ControlByte(kStateNormal));
        break;
    case kEnableWatchdog:
        ReadThenWrite(kTimeoutPort, nCode);
        break;
    case kArmRestart:
    case kArmBypass:
        // the board logic alone decides what expiry does
        ReadThenWrite(kTimeoutPort, nCode);
        ReadThenWrite(kControlPort, ControlByte(kStateArmed));
        break;
    case kEnterBypass:
        ReadThenWrite(kControlPort, ControlByte(kStateBypass));
        break;
    }
}

int C_G41_BypassTool_NEXCOM::DisableWDT()
{
    DoBypassCtrl(0, kDisableWatchdog);
    return 0;
}

int C_G41_BypassTool_NEXCOM::EnableWDT()
{
    DoBypassCtrl(bypass::G41NexcomTimeoutCode(m_nTimeoutSecond), kEnableWatchdog);
    return 0;
}

int C_G41_BypassTool_NEXCOM::SetWDTTimeout_Bypass(int, int nSecond)
{
    m_nTimeoutSecond = nSecond;
    DoBypassCtrl(bypass::G41NexcomTimeoutCode(nSecond), kArmBypass);
    return 0;
}

int C_G41_BypassTool_NEXCOM::SetWDTTimeout_ResartSys(int, int nSecond)
{
    m_nTimeoutSecond = nSecond;
    DoBypassCtrl(bypass::G41NexcomTimeoutCode(nSecond), kArmRestart);
    return 0;
}

int C_G41_BypassTool_NEXCOM::EnableBypass()
{
    DoBypassCtrl(0, kEnterBypass);
    return 0;
}

int C_G41_BypassTool_NEXCOM::DisableBypass()
{
    DoBypassCtrl(0, kLeaveBypass);
    return 0;
}

int C_G41_BypassTool_NEXCOM::IsSupportWDT() { return 1; }
