#include "boards/smbus/MB8756BypassTool.h"

#include "boards/smbus/SmbusHost.h"
#include "portio/PortBackend.h"
#include "porttalk/SmbusBase.h"

#include <cstdio>

namespace {

constexpr int kNoController = -1;
constexpr std::uint8_t kBypassControllerAddress = 0x37;
// One bit for each of the board's three bypass segments.
constexpr unsigned kSegmentMask = 0x07;

// Registers of the bypass controller; the watchdog commands take the value 0.
constexpr unsigned kSegmentSetupA = 0x10; // both take the segment mask at start-up
constexpr unsigned kSegmentSetupB = 0x11;
constexpr unsigned kBypassSegments = 0x12; // segments now in bypass: mask or 0
constexpr unsigned kWatchdogSeconds = 0x22;
constexpr unsigned kWatchdogArm = 0x24;
constexpr unsigned kWatchdogDisarm = 0x25;

} // namespace

C_MB8756_BypassTool::C_MB8756_BypassTool(int nBypassType)
    : CBypassTool(nBypassType)
    , m_nSmbusBase(kNoController)
{
}

C_MB8756_BypassTool::~C_MB8756_BypassTool() { ReleaseController(); }

int C_MB8756_BypassTool::init()
{
    if (OpenPortDriver() != 0)
        return 0;
    m_nSmbusBase = probe_smbus_controller();
    // A base no SMBus controller can have (among the legacy ISA devices, or
    // not a 32-byte window) is taken as no controller, like a missing one:
    // the writes would reach whatever decodes those ports.
    if (!SmbusBasePlausible(static_cast<unsigned long>(m_nSmbusBase)))
        m_nSmbusBase = 0;
    std::printf("probe_smbus_controller = %04X\n", m_nSmbusBase);
    if (m_nSmbusBase == 0) {
        m_nSmbusBase = kNoController;
        return 0;
    }
    WriteRegister(kSegmentSetupA, kSegmentMask);
    WriteRegister(kSegmentSetupB, kSegmentMask);
    return 0;
}

void C_MB8756_BypassTool::fini() { ReleaseController(); }

// DisableWDT, EnableWDT, SetWDTTimeout_Bypass and the two bypass slots
// answer -1 when init found no controller.
int C_MB8756_BypassTool::DisableWDT()
{
    if (!HasController())
        return -1;
    WriteRegister(kBypassSegments, 0);
    WriteRegister(kWatchdogDisarm, 0);
    return 0;
}

int C_MB8756_BypassTool::EnableWDT()
{
    if (!HasController())
        return -1;
    return WriteRegister(kWatchdogArm, 0);
}

int C_MB8756_BypassTool::SetWDTTimeout_Bypass(int /*nReserved*/, int nSecond)
{
    m_nTimeoutSecond = nSecond;
    if (!HasController())
        return -1;
    // The controller counts whole seconds in one byte: longer timeouts wrap.
    WriteRegister(kWatchdogSeconds, static_cast<unsigned>(nSecond));
    return WriteRegister(kWatchdogArm, 0);
}

// The controller has no restart-on-expiry mode: does nothing.
int C_MB8756_BypassTool::SetWDTTimeout_ResartSys(int /*nReserved*/, int /*nSecond*/) { return 0; }

int C_MB8756_BypassTool::EnableBypass()
{
    if (!HasController())
        return -1;
    return WriteRegister(kBypassSegments, kSegmentMask);
}

int C_MB8756_BypassTool::DisableBypass()
{
    if (!HasController())
        return -1;
    // Stopped first, the watchdog cannot throw the segments back into bypass.
    DisableWDT();
    return WriteRegister(kBypassSegments, 0);
}

int C_MB8756_BypassTool::IsSupportWDT() { return 1; }

bool C_MB8756_BypassTool::HasController() const { return m_nSmbusBase != kNoController; }

void C_MB8756_BypassTool::ReleaseController()
{
    ClosePortDriver();
    m_nSmbusBase = kNoController;
}

// Register, value and address are bytes on the bus: only their low 8 bits are sent.
int C_MB8756_BypassTool::WriteRegister(unsigned reg, unsigned value)
{
    return smbus_write_byte(static_cast<std::uint16_t>(m_nSmbusBase), kBypassControllerAddress,
        static_cast<std::uint8_t>(reg), static_cast<std::uint8_t>(value));
}
