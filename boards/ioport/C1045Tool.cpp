#include "boards/ioport/C1045Tool.h"

#include "boards/PortModify.h"
#include "boards/ioport/TimeoutCode.h"
#include "portio/PortBackend.h"

namespace {

using bypass::ModifyPortByte;

constexpr std::uint16_t kBoardPort = 0xF2;

// Bits of the board port. Bits 7-5 belong to other board functions and are
// always written back as read.
constexpr std::uint8_t kArmedBypassBit = 0x10;
constexpr std::uint8_t kArmedRestartBit = 0x08;
constexpr std::uint8_t kCodeBits = 0x07;
// Bypass now is the bypass watchdog with its shortest timeout (code 6).
constexpr std::uint8_t kBypassNowCode = 6;

// Sets one expiry bit with the code and clears the other expiry bit.
void Arm(std::uint8_t code, std::uint8_t armedBit, std::uint8_t otherArmedBit)
{
    ModifyPortByte(kBoardPort, otherArmedBit | kCodeBits, code | armedBit);
}

void Disarm() { ModifyPortByte(kBoardPort, kArmedBypassBit | kArmedRestartBit | kCodeBits, 0); }

} // namespace

C1045BypassTool::C1045BypassTool(int nBypassType)
    : CBypassTool(nBypassType)
{
}

// Clears the expiry bits and the code, like DisableBypass.
int C1045BypassTool::DisableWDT()
{
    Disarm();
    return 0;
}

int C1045BypassTool::EnableWDT()
{
    // a read and nothing else: the stored timeout is not used
    inportb(kBoardPort);
    return 0;
}

// Both arming slots refuse timeouts outside 1 to 64 seconds with -1,
// after storing them, without touching the board.
int C1045BypassTool::SetWDTTimeout_Bypass(int, int nSecond)
{
    return StoreAndArm(nSecond, kArmedBypassBit, kArmedRestartBit);
}

int C1045BypassTool::SetWDTTimeout_ResartSys(int, int nSecond)
{
    return StoreAndArm(nSecond, kArmedRestartBit, kArmedBypassBit);
}

// Arms for bypass with the shortest timeout.
int C1045BypassTool::EnableBypass()
{
    Arm(kBypassNowCode, kArmedBypassBit, kArmedRestartBit);
    return 0;
}

int C1045BypassTool::DisableBypass()
{
    Disarm();
    return 0;
}

int C1045BypassTool::IsSupportWDT() { return 1; }

int C1045BypassTool::StoreAndArm(int nSecond, std::uint8_t armedBit, std::uint8_t otherArmedBit)
{
    m_nTimeoutSecond = nSecond;
    if (!bypass::Is1045Timeout(nSecond))
        return -1;
    Arm(static_cast<std::uint8_t>(bypass::C1045TimeoutCode(nSecond)), armedBit, otherArmedBit);
    return 0;
}
