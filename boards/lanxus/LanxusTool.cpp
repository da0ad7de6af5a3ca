#include "boards/lanxus/LanxusTool.h"

#include "boards/WatchdogReadback.h"
#include "boards/ioport/Ite87.h"
#include "boards/lanxus/LanxusSio.h"

using namespace bypass;

namespace {

void RunWatchdogSequence(const IteWriteSequence& writes, std::uint8_t byCount)
{
    ite::ConfigMode sio;
    sio.SelectDevice(ite::kGpioWatchdogDevice);
    for (const IteRegisterWrite& write : writes)
        sio.Write(write.reg, write.reg == ite::kWatchdogTimeoutLow ? byCount : write.value);
}

// A new count for the running watchdog; the expiry action stays as it was
// armed. No device select: every sequence of the tools leaves device 7
// selected.
void ReloadWatchdog(int nSecond)
{
    ite::ConfigMode sio;
    sio.Write(ite::kWatchdogTimeoutLow, LanxusWdtCount(nSecond));
    sio.Write(ite::kWatchdogTimeoutHigh, 0x00);
}

} // namespace

std::uint8_t bypass::LanxusWdtCount(int seconds)
{
    return static_cast<std::uint8_t>(seconds & 0xFF);
}

WatchdogReadback bypass::LanxusReadWatchdog() { return ite::ReadWatchdog(ite::Pacing{}); }

CLanxusBypassTool::CLanxusBypassTool(int nBypassType, const LanxusBoard& board)
    : CBypassTool(nBypassType)
    , m_board(&board)
{
}

int CLanxusBypassTool::init()
{
    // The result reflects only the opening: the hardware steps are tried
    // either way, and each failed access reports itself.
    const int opened = CBypassTool::init();
    if (m_board->relayLinesFirst)
        m_board->initRelayLines();
    StopWatchdog();
    if (!m_board->relayLinesFirst)
        m_board->initRelayLines();
    return opened;
}

int CLanxusBypassTool::DisableWDT()
{
    StopWatchdog();
    return 0;
}

int CLanxusBypassTool::EnableWDT()
{
    ReloadWatchdog(m_nTimeoutSecond);
    return 0;
}

int CLanxusBypassTool::SetWDTTimeout_Bypass(int, int nSecond)
{
    return ArmWithRelaysNormal(m_board->armBypass, nSecond);
}

int CLanxusBypassTool::SetWDTTimeout_ResartSys(int, int nSecond)
{
    return ArmWithRelaysNormal(m_board->armRestart, nSecond);
}

int CLanxusBypassTool::EnableBypass()
{
    SwitchRelays(1);
    return 0;
}

int CLanxusBypassTool::DisableBypass()
{
    SwitchRelays(0);
    return 0;
}

int CLanxusBypassTool::IsSupportWDT() { return 1; }

void CLanxusBypassTool::StopWatchdog() const { RunWatchdogSequence(m_board->stop, 0x00); }

void CLanxusBypassTool::SwitchRelays(int nBypass) const
{
    // The watchdog must not expire while the relays are being switched.
    StopWatchdog();
    m_board->setRelays(nBypass);
}

int CLanxusBypassTool::ArmWithRelaysNormal(const IteWriteSequence& arming, int nSecond)
{
    m_nTimeoutSecond = nSecond;
    SwitchRelays(0);
    RunWatchdogSequence(arming, LanxusWdtCount(m_nTimeoutSecond));
    return 0;
}
