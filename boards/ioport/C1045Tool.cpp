#include "boards/ioport/C1045Tool.h"

#include "boards/ioport/TimeoutCode.h"
#include "portio/PortBackend.h"

namespace {

constexpr std::uint16_t kBoardPort = 0xF2;

// Bits of the board port. Bits 7-5 belong to other board functions and are
// always written back as read.
constexpr int kOtherBits = 0xE0;
constexpr int kArmedBypassBit = 0x10;
constexpr int kArmedRestartBit = 0x08;
constexpr int kCodeBits = 0x07;
// Bypass now is the bypass watchdog with its shortest timeout (code 6).
constexpr int kBypassNowCode = 6;

// Modes of DoBypassCtrl, numbered as the board's control program knows them.
enum Mode {
    kDisableWatchdog = 0,
    kEnableWatchdog = 1,
    kArmRestart = 2,
    kArmBypass = 3,
    kEnterBypass = 4,
    kLeaveBypass = 5,
};

void WriteBoardPort(int value) { outportb(kBoardPort, static_cast<std::uint8_t>(value)); }

} // namespace

C1045BypassTool::C1045BypassTool(int nBypassType)
    : CBypassTool(nBypassType)
{
}

void C1045BypassTool::DoBypassCtrl(int nValue, int nMode)
{
    const int v = inportb(kBoardPort);
    const int code = nValue & kCodeBits;
    switch (nMode) {
    case kDisableWatchdog:
    case kLeaveBypass:
        WriteBoardPort(v & kOtherBits);
        break;
    case kEnableWatchdog:
        // a read and nothing else: the stored timeout is not used
        break;
    case kArmRestart:
        // bit 4 is cleared, bit 3 kept and then set
        WriteBoardPort((v & (kOtherBits | kArmedRestartBit)) | code | kArmedRestartBit);
        break;
    case kArmBypass:
        // bit 3 is cleared, bit 4 kept and then set
        WriteBoardPort((v & (kOtherBits | kArmedBypassBit)) | code | kArmedBypassBit);
        break;
    case kEnterBypass:
        // bits 3 and 0 are cleared, bits 4, 2 and 1 set: the bits of arming
        // for bypass with 1 second
        WriteBoardPort((v & 0xF6) | kArmedBypassBit | kBypassNowCode);
        break;
    }
}

int C1045BypassTool::Arm(int nSecond, int nMode)
{
    m_nTimeoutSecond = nSecond;
    if (!bypass::Is1045Timeout(nSecond))
        return -1;
    DoBypassCtrl(bypass::C1045TimeoutCode(nSecond), nMode);
    return 0;
}

int C1045BypassTool::DisableWDT()
{
    DoBypassCtrl(0, kDisableWatchdog);
    return 0;
}

int C1045BypassTool::EnableWDT()
{
    DoBypassCtrl(0, kEnableWatchdog);
    return 0;
}

int C1045BypassTool::SetWDTTimeout_Bypass(int, int nSecond) { return Arm(nSecond, kArmBypass); }

int C1045BypassTool::SetWDTTimeout_ResartSys(int, int nSecond) { return Arm(nSecond, kArmRestart); }

int C1045BypassTool::EnableBypass()
{
    DoBypassCtrl(0, kEnterBypass);
    return 0;
}

int C1045BypassTool::DisableBypass()
{
    DoBypassCtrl(0, kLeaveBypass);
    return 0;
}

int C1045BypassTool::IsSupportWDT() { return 1; }
