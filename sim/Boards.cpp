// One preset per catalogue board: the chips, the GPIO wiring of the relays
// and where each watchdog's output goes. The MSI boards are in MsiBoards.cpp.
#include "boards/BoardTable.h"
#include "sim/BoardLogic.h"
#include "sim/BoardModel.h"
#include "sim/BoardWiring.h"
#include "sim/Chipset.h"
#include "sim/Smbus.h"
#include "sim/SuperIo.h"

#include <functional>
#include <span>

namespace bypass::sim {
namespace {

// The LANXUS boards: an IT87 watchdog whose keyboard-reset or power-good
// output restarts the system; otherwise its output reaches the relays only
// through the routing registers the board's bypass arming programs.
class LanxusBoard : public BoardModel {
public:
    WatchdogState Watchdog() const override
    {
        ExpiryAction action = ExpiryAction::None;
        if (m_sio.ResetsOnExpiry())
            action = ExpiryAction::Restart;
        else if (RoutedToBypass())
            action = ExpiryAction::Bypass;
        return {m_sio.WatchdogRunning(), action, m_sio.WatchdogSecondsLeft()};
    }

protected:
    LanxusBoard(int type, unsigned segments, std::uint16_t gpioBase)
        : BoardModel(type, segments)
        , m_gpio(gpioBase)
    {
        AttachChip(m_sio);
        Attach(m_gpio);
        m_sio.onExpiry = [this] {
            if (m_sio.ResetsOnExpiry())
                Restart();
            else if (RoutedToBypass())
                SetAllRelays(Relay::Bypass);
        };
    }

    void Run(unsigned long long ms) override { m_sio.Run(ms); }
    virtual bool RoutedToBypass() const = 0;

    Ite87Chip m_sio;
    GpioBank m_gpio;
};

// H61-LANXUS: the H61 relay controller, its six lines left at rest (GPIO
// outputs, high) by the firmware; 0xF1 = 0x44 and 0xF4 = 0x13 route the
// timeout to it.
class H61LanxusBoard : public LanxusBoard {
public:
    H61LanxusBoard()
        : LanxusBoard(10, 2, 0x500)
    {
        for (unsigned line : {9u, 14u, 43u, 44u, 45u, 46u})
            m_gpio.DriveAtPowerOn(line, true);
        m_gpio.WatchLatch(kH61Strobe, kH61LatchedLines, [this](std::uint64_t levels) {
            SetRelay(H61Segment(levels), RelayFor(LineOf(levels, kH61State)));
        });
    }

protected:
    bool RoutedToBypass() const override
    {
        return m_sio.Register(7, 0xF1) == 0x44 && m_sio.Register(7, 0xF4) == 0x13;
    }
};

// D525-LANXUS: one relay line, GPIO 8 (0 = bypass), which the firmware
// leaves a GPIO output, high, as it does GPIO 9. The relay follows the
// line; an expiry overrides it until the line next changes level: a write
// of its level byte that leaves GPIO 8 as it was sends no edge to the
// pin, so it ends nothing. Global
// 0x28 = 0xC3 and device 7's 0xBB = 0x01, 0xF1 = 0x44, 0xF4 = 0x21 route
// the timeout to it.
class D525LanxusBoard : public LanxusBoard {
public:
    D525LanxusBoard()
        : LanxusBoard(11, 1, 0x1180)
    {
        m_gpio.DriveAtPowerOn(8, true);
        m_gpio.DriveAtPowerOn(9, true);
        m_gpio.WatchLines([this](std::uint32_t, std::uint64_t before, std::uint64_t after) {
            if (LineOf(before, 8) != LineOf(after, 8))
                SetRelay(0, RelayFor(!LineOf(after, 8)));
        });
    }

protected:
    bool RoutedToBypass() const override
    {
        return m_sio.Register(0, 0x28) == 0xC3 && m_sio.Register(7, 0xBB) == 0x01
            && m_sio.Register(7, 0xF1) == 0x44 && m_sio.Register(7, 0xF4) == 0x21;
    }
};

// Q35: chipset GPIO 24 (0x48F bit 0) = 0 puts the ports into bypass, GPIO 27
// (bit 3) = 1 sends the IT87 watchdog's timeout to the bypass logic instead
// of the reset line; the firmware leaves both GPIO outputs, 24 high. A
// bypass the timeout caused holds until a low pulse on the chip's GPIO pin
// 0xA21 bit 7 resets the bypass logic. The board's chip is not identified;
// the model makes it an IT8712F of revision 7, an 8-bit part (the tool
// never programs more than 255 s), so the 8-bit count has a board.
class Q35Board : public BoardModel {
public:
    Q35Board()
        : BoardModel(2, 1)
        , m_sio(0x8712, 0x07)
        , m_chipset(0x480)
        , m_pins(m_sio, 0xA20)
    {
        m_chipset.DriveAtPowerOn(24, true);
        m_chipset.DriveAtPowerOn(27, false);
        AttachChip(m_sio);
        Attach(m_chipset);
        Attach(m_pins);
        m_pins.WatchWrites([this](std::uint32_t, std::uint8_t, std::uint8_t) { PinWritten(); });
        m_sio.onExpiry = [this] {
            if (ExpiryBypasses())
                m_expiredIntoBypass = true;
            else
                Restart();
        };
    }

    Relay SegmentRelay(unsigned) const override
    {
        return RelayFor(!LineOf(m_chipset.Levels(), 24) || m_expiredIntoBypass);
    }

    WatchdogState Watchdog() const override
    {
        const ExpiryAction action = ExpiryBypasses() ? ExpiryAction::Bypass : ExpiryAction::Restart;
        return {m_sio.WatchdogRunning(), action, m_sio.WatchdogSecondsLeft()};
    }

protected:
    void Run(unsigned long long ms) override { m_sio.Run(ms); }

private:
    bool ExpiryBypasses() const { return LineOf(m_chipset.Levels(), 27); }

    void PinWritten()
    {
        const bool level = m_pins.Pin(2, 0x80);
        if (level && !m_pinLevel)
            m_expiredIntoBypass = false; // the pulse ends: bypass logic reset
        m_pinLevel = level;
    }

    Ite87Chip m_sio;
    GpioBank m_chipset;
    Ite87SimpleIo m_pins;
    bool m_pinLevel = true;
    bool m_expiredIntoBypass = false;
};

// D525-LW: two segments on the IT87's simple-I/O pins, set 2 bit 3 and bit 4
// (0 = bypass, pulled up to normal until configured). No watchdog output is
// wired.
class D525LwBoard : public BoardModel {
public:
    D525LwBoard()
        : BoardModel(5001, 2)
        , m_pins(m_sio, 0x800)
    {
        AttachChip(m_sio);
        Attach(m_pins);
    }

    Relay SegmentRelay(unsigned segment) const override
    {
        return RelayFor(!m_pins.Pin(2, segment == 0 ? 0x08 : 0x10));
    }

    WatchdogState Watchdog() const override
    {
        return {m_sio.WatchdogRunning(), ExpiryAction::None, m_sio.WatchdogSecondsLeft()};
    }

protected:
    void Run(unsigned long long ms) override { m_sio.Run(ms); }

private:
    Ite87Chip m_sio;
    Ite87SimpleIo m_pins;
};

// G41-NEXCOM (types 7 and 8): the board logic at 0xF2/0xF3 alone.
class NexcomBoard : public BoardModel {
public:
    explicit NexcomBoard(int type)
        : BoardModel(type, 1)
    {
        Attach(m_logic);
    }

    Relay SegmentRelay(unsigned) const override { return RelayFor(m_logic.Bypassed()); }

    WatchdogState Watchdog() const override
    {
        return {m_logic.WatchdogRunning(), ExpiryAction::Bypass, m_logic.WatchdogSecondsLeft()};
    }

protected:
    void Run(unsigned long long ms) override { m_logic.Run(ms); }

    NexcomLogic m_logic;
};

// D525-NEXCOM: the same logic, and an IT87 whose watchdog restarts the system.
// The state shown is the logic's watchdog while it runs, else the chip's.
// Port 0xF3 runs the logic's watchdog only in the armed state (bits 7-6 =
// 11), as on the G41-NEXCOM boards, whose normal state is "watchdog off":
// bypass off (0x81) and on (0x41) stop it. The chip's watchdog counts on.
class D525NexcomBoard : public NexcomBoard {
public:
    D525NexcomBoard()
        : NexcomBoard(4)
    {
        AttachChip(m_sio);
        m_sio.onExpiry = [this] {
            if (m_sio.ResetsOnExpiry())
                Restart();
        };
    }

    WatchdogState Watchdog() const override
    {
        if (m_logic.WatchdogRunning() || !m_sio.WatchdogRunning())
            return NexcomBoard::Watchdog();
        const ExpiryAction action
            = m_sio.ResetsOnExpiry() ? ExpiryAction::Restart : ExpiryAction::None;
        return {true, action, m_sio.WatchdogSecondsLeft()};
    }

protected:
    void Run(unsigned long long ms) override
    {
        NexcomBoard::Run(ms);
        m_sio.Run(ms);
    }

private:
    Ite87Chip m_sio;
};

// The 845 board (type 1): the logic at port 0xF2 alone.
class Board845 : public BoardModel {
public:
    Board845()
        : BoardModel(1, 1)
    {
        Attach(m_logic);
        m_logic.onRestart = [this] { Restart(); };
    }

    Relay SegmentRelay(unsigned) const override { return RelayFor(m_logic.Bypassed()); }

    WatchdogState Watchdog() const override
    {
        const ExpiryAction action
            = m_logic.ArmedForRestart() ? ExpiryAction::Restart : ExpiryAction::Bypass;
        return {m_logic.WatchdogRunning(), action, m_logic.WatchdogSecondsLeft()};
    }

protected:
    void Run(unsigned long long ms) override { m_logic.Run(ms); }

private:
    Logic845 m_logic;
};

// G41-LS (type 5003): the ICH SMBus controller at 0/31/3 with its I/O base
// at 0xF000, and the three-segment bypass controller at address 0x37.
class SmbusBoard : public BoardModel {
public:
    SmbusBoard()
        : BoardModel(5003, 3)
        , m_host(0xF000)
        , m_controller(3)
    {
        m_pci.SetDword(0, 31, 3, 0x00, 0x3A308086);       // ICH10 SMBus controller
        m_pci.SetDword(0, 31, 3, 0x04, 0x00000001);       // I/O space decoded
        m_pci.SetDword(0, 31, 3, 0x08, 0x0C050002);       // SMBus class, revision 2
        m_pci.SetDword(0, 31, 3, 0x20, 0x0000F001);       // I/O BAR
        m_pci.SetDword(0, 31, 3, 0x40, 0x00000001, 0x07); // HST_EN set by the firmware
        m_host.Attach(0x37, m_controller);
        m_host.hostEnabled = [this] { return (m_pci.Dword(0, 31, 3, 0x40) & 0x01) != 0; };
        Attach(m_pci);
        Attach(m_host);
    }

    Relay SegmentRelay(unsigned segment) const override
    {
        return RelayFor(m_controller.Bypassed(segment));
    }

    WatchdogState Watchdog() const override
    {
        const ExpiryAction action
            = m_controller.Register(0x11) ? ExpiryAction::Bypass : ExpiryAction::None;
        return {m_controller.WatchdogRunning(), action, m_controller.WatchdogSecondsLeft()};
    }

protected:
    void Run(unsigned long long ms) override
    {
        m_host.Run(ms);
        m_controller.Run(ms);
    }

private:
    PciConfigSpace m_pci;
    SmbusHost m_host;
    BypassController m_controller;
};

// Type 0: a board without bypass hardware; every port floats.
class PlainBoard : public BoardModel {
public:
    PlainBoard()
        : BoardModel(0, 0)
    {
    }

    WatchdogState Watchdog() const override { return {}; }

protected:
    void Run(unsigned long long) override { }
};

using Maker = std::unique_ptr<BoardModel> (*)();

// The model of each board type; which types exist is the board table's.
Maker ModelOf(int type)
{
    static const ModelRow kModels[] = {
        {0, Make<PlainBoard>},
        {1, Make<Board845>},
        {2, Make<Q35Board>},
        {4, Make<D525NexcomBoard>},
        {7, Make<NexcomBoard, 7>},
        {8, Make<NexcomBoard, 8>},
        {10, Make<H61LanxusBoard>},
        {11, Make<D525LanxusBoard>},
        {5001, Make<D525LwBoard>},
        {5003, Make<SmbusBoard>},
    };
    for (std::span<const ModelRow> family : {std::span<const ModelRow>(kModels), MsiModels()}) {
        for (const ModelRow& row : family) {
            if (row.type == type)
                return row.make;
        }
    }
    return nullptr;
}

} // namespace

std::unique_ptr<BoardModel> CreateBoardModel(int type)
{
    const Maker maker = FindBoard(type) ? ModelOf(type) : nullptr;
    return maker ? maker() : nullptr;
}

const std::vector<int>& ModelledBoardTypes()
{
    static const std::vector<int> types = [] {
        std::vector<int> all;
        for (const BoardRow& row : BoardTable())
            all.push_back(row.type);
        return all;
    }();
    return types;
}

} // namespace bypass::sim
